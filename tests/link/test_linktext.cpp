// The served mapping: every text becomes a valid one-line D-Bus string and comes back exactly
// (every byte of a head record, through the bus: test_linksource).

#include "link/text/LinkText.h"

#include <QTest>

using namespace qvr;

class TestLinkText : public QObject {
    Q_OBJECT
private slots:
    void serves_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("served");
        const auto row = [](const char* name, const QString& text, const QString& served) {
            QTest::newRow(name) << text << served;
        };
        const QString latin1 = QString(QChar(0xA0)) + QChar(0xFF);
        const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80");
        row("reading", " 0.123", " 0.123");
        row("empty", "", "");
        row("NUL", QString(QChar(0)), "\\x00");
        row("newline", "a\nb", "a\\x0Ab");
        row("DEL", QString(QChar(0x7F)), "\\x7F");
        row("C1 CSI", QString(QChar(0x9B)), "\\x9B");
        row("Latin-1 passes", latin1, latin1);
        row("backslash", "C:\\x00", "C:\\\\x00");
        row("backslash before u", "\\uD800", "\\\\uD800");
        row("lone high surrogate", QString(QChar(0xD800)) + "x", "\\uD800x");
        row("pair passes", pair, pair);
        row("reversed pair", QString(QChar(0xDE00)) + QChar(0xD83D), "\\uDE00\\uD83D");
        row("byte-order mark", QString(QChar(0xFEFF)) + "a", "\\uFEFFa");
    }
    void serves() {
        QFETCH(QString, text);
        QFETCH(QString, served);
        QCOMPARE(toLinkText(text), served);
        QCOMPARE(fromLinkText(served), text);
    }

    // Backslashes that start no mapping are taken as they are.
    void unmappedBackslashesStay_data() {
        QTest::addColumn<QString>("served");
        for (const char* served : {"a\\b", "a\\", "\\x4", "\\x0a", "\\uZZZZ"})
            QTest::newRow(served) << QString::fromLatin1(served);
    }
    void unmappedBackslashesStay() {
        QFETCH(QString, served);
        QCOMPARE(fromLinkText(served), served);
    }
};

QTEST_GUILESS_MAIN(TestLinkText)
#include "test_linktext.moc"
