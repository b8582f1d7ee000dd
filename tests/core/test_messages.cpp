// The table of captions and message texts.

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
        QTest::newRow("1011") << 1011
                              << "Caution: Something may be blocking the light path or the lamp "
                                 "may need replacing.";
    }
    void exactTexts() {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(qvr::text(id), text);
    }

    void everyIdOfTheTable() {
        const QList<int> ids{100, 101, 110, 113, 114, 115, 116, 118,  119,  120,  121,  122, 200,
                             201, 202, 208, 209, 300, 301, 302, 303,  304,  305,  306,  308, 309,
                             310, 400, 401, 402, 403, 404, 405, 1010, 1011, 1101, 1102, 1103};
        QCOMPARE(textIds(), ids);
        for (int id : ids)
            QVERIFY2(!qvr::text(id).isEmpty(), qPrintable(QString::number(id)));
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
