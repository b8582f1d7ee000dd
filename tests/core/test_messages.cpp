// The table of captions and message texts.

#include "app/Messages.h"

#include <QTest>

using namespace qvr;

class TestMessages : public QObject {
    Q_OBJECT
private slots:
    void exactTexts_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("100") << 100 << "&File";
        QTest::newRow("101") << 101 << "E&xit";
        QTest::newRow("113") << 113 << "&Neutral Density Filter Check";
        QTest::newRow("116 pattern") << 116 << "WL1 nm";
        QTest::newRow("119 pattern") << 119 << "WL2 nm";
        QTest::newRow("122") << 122 << "&About QVR100 software";
        QTest::newRow("200") << 200 << "Port Address Setup";
        QTest::newRow("201") << 201 << "Select the card connected to the reader you wish to use.";
        QTest::newRow("209") << 209 << "&Cancel";
        QTest::newRow("301 no blank after the stop")
            << 301
            << "Remove dosimeters and filters from the reader and zero the reader.Then read any "
               "or all of the neutral density filters by pressing the appropriate button.";
        QTest::newRow("309") << 309
                             << "Please remove the film holder and insert the filter holder "
                                "into the QVR-100 reader head.";
        QTest::newRow("310") << 310
                             << "To continue reading film, remove the filter holder and insert "
                                "the film holder into the QVR-100 reader head.";
        QTest::newRow("402") << 402 << "Version 2.6.0";
        QTest::newRow("403") << 403
                             << "Applet that is a server to other programs in order to provide "
                                "absorbance readings for Tintafilm Dosimeter";
        QTest::newRow("405") << 405 << "OK";
        QTest::newRow("1010") << 1010
                              << "Caution: Lamp is growing dim. Consider replacing it soon.";
        QTest::newRow("1011") << 1011
                              << "Caution: Something may be blocking the light path or the lamp "
                                 "may need replacing.";
        QTest::newRow("1101 ends in a blank")
            << 1101
            << "Unexpected EEPROM data. Please report this to Norvale. Model and Serial number "
               "reported as: ";
        QTest::newRow("1102 has two blanks")
            << 1102
            << "Unexpected EEPROM data. Please report this to Norvale. Wavelengths  reported as: ";
        QTest::newRow("1103 ends in a blank")
            << 1103 << "Unexpected EEPROM data. Please report this to Norvale. Gain reported as: ";
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

    void noticeLineIsOneLine() {
        const QString notice = qvr::text(404);
        QVERIFY(!notice.trimmed().isEmpty());
        QVERIFY(!notice.contains(QLatin1Char('\n')));
        QVERIFY(!notice.contains(QChar::ReplacementCharacter));
    }

    void unknownIdGivesNothing_data() {
        QTest::addColumn<int>("id");
        QTest::newRow("gap in the table") << 117;
        QTest::newRow("below") << 0;
        QTest::newRow("above") << 9999;
        QTest::newRow("negative") << -1;
    }
    void unknownIdGivesNothing() {
        QFETCH(int, id);
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("QVR100PCI: no text with id ") + QString::number(id)));
        QCOMPARE(qvr::text(id), QString());
    }

    void messageBoxTitle() { QCOMPARE(kAppTitle, QStringLiteral("QVR100PCI")); }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "test_messages.moc"
