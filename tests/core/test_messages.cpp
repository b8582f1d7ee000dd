// Texts no other test shows in full, and the answer for an id the table lacks.

#include "core/Messages.h"

#include <QTest>

using namespace qvr;

class TestMessages : public QObject {
    Q_OBJECT
private slots:
    void exactTexts_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("301 no blank after the stop")
            << 301
            << "Remove dosimeters and filters from the reader and zero the reader.Then read any "
               "or all of the neutral density filters by pressing the appropriate button.";
        QTest::newRow("1010") << 1010
                              << "Caution: Lamp is growing dim. Consider replacing it soon.";
    }
    void exactTexts() {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(qvr::text(id), text);
    }

    void unknownIdGivesNothing_data() {
        QTest::addColumn<int>("id");
        QTest::newRow("gap in the table") << 117;
        QTest::newRow("above") << 9999;
    }
    void unknownIdGivesNothing() {
        QFETCH(int, id);
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("QVR100PCI: no text with id ") + QString::number(id)));
        QCOMPARE(qvr::text(id), QString());
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "test_messages.moc"
