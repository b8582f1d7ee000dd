// The served mapping: every text becomes a valid one-line D-Bus string and comes back exactly.

#include "link/LinkText.h"

#include <QTest>

using namespace qvr;

class TestLinkText : public QObject {
    Q_OBJECT
private slots:
    void serves_data();
    void serves();
    void everyHeadByteRoundTrips();
    void roundTrips_data();
    void roundTrips();
    void unmappedBackslashesStay_data();
    void unmappedBackslashesStay();
};

void TestLinkText::serves_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("served");
    QTest::newRow("reading") << " 0.123"
                             << " 0.123";
    QTest::newRow("over range") << ">3.0"
                                << ">3.0";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("NUL") << QString(QChar(0)) << "\\x00";
    QTest::newRow("newline") << "a\nb"
                             << "a\\x0Ab";
    QTest::newRow("escape") << "\x1b[2J"
                            << "\\x1B[2J";
    QTest::newRow("DEL") << QString(QChar(0x7F)) << "\\x7F";
    QTest::newRow("C1 CSI") << QString(QChar(0x9B)) << "\\x9B";
    QTest::newRow("Latin-1 letters pass")
        << QString(QChar(0xA0)) + QChar(0xFF) << QString(QChar(0xA0)) + QChar(0xFF);
    QTest::newRow("backslash") << "C:\\x00"
                               << "C:\\\\x00";
    QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) + "x"
                                         << "\\uD800x";
    QTest::newRow("lone low surrogate") << QString(QChar(0xDC01)) << "\\uDC01";
    QTest::newRow("pair passes") << QString::fromUtf8("\xF0\x9F\x98\x80")
                                 << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("reversed pair") << QString(QChar(0xDE00)) + QChar(0xD83D) << "\\uDE00\\uD83D";
}

void TestLinkText::serves() {
    QFETCH(QString, text);
    QFETCH(QString, served);
    QCOMPARE(toLinkText(text), served);
    QCOMPARE(fromLinkText(served), text);
}

void TestLinkText::everyHeadByteRoundTrips() {
    // A head record holds one character per byte; all 256 must survive, in any order.
    QString record;
    for (int b = 0; b < 256; ++b)
        record += QChar(char16_t(b));
    for (int b = 255; b >= 0; --b)
        record += QChar(char16_t(b));
    const QString served = toLinkText(record);
    for (QChar c : served)
        QVERIFY2(c.unicode() >= 0x20 && !(c.unicode() >= 0x7F && c.unicode() <= 0x9F),
                 qPrintable(QString::number(c.unicode(), 16)));
    QCOMPARE(fromLinkText(served), record);
}

void TestLinkText::roundTrips_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("backslash at end") << "abc\\";
    QTest::newRow("backslash before x") << "\\x41";
    QTest::newRow("backslash before u") << "\\uD800";
    QTest::newRow("many backslashes") << "\\\\\\";
    QTest::newRow("surrogate at end") << QString("a") + QChar(0xD83D);
    QTest::newRow("mixed") << QString("\\") + QChar(0) + QChar(0xDC00) + "\\\\x" + QChar(0x85);
}

void TestLinkText::roundTrips() {
    QFETCH(QString, text);
    QCOMPARE(fromLinkText(toLinkText(text)), text);
}

void TestLinkText::unmappedBackslashesStay_data() {
    QTest::addColumn<QString>("served");
    QTest::newRow("lone") << "a\\b";
    QTest::newRow("at end") << "a\\";
    QTest::newRow("short hex") << "\\x4";
    QTest::newRow("lower-case hex") << "\\x0a";
    QTest::newRow("not hex") << "\\uZZZZ";
}

void TestLinkText::unmappedBackslashesStay() {
    QFETCH(QString, served);
    QCOMPARE(fromLinkText(served), served);
}

QTEST_GUILESS_MAIN(TestLinkText)
#include "test_linktext.moc"
