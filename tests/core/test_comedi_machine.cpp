// The real comedilib backend on a machine without a card, and the device-node check.

#include "daq/comedi/ComediDriver.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace qvr::test {

class TestComediMachine : public QObject {
    Q_OBJECT

private slots:
    void noCardMeansNoBoard() {
        if (comediDeviceExists())
            QSKIP("this machine has a comedi device");
        const std::unique_ptr<DaqDriver> driver = makeComediDriver();
        std::int32_t type = 0;
        QCOMPARE(driver->cbGetConfig(BOARDINFO, 0, 0, BIBOARDTYPE, type), kStatusNoDevice);
        QCOMPARE(type, 0);
        std::int16_t value = 77;
        QCOMPARE(driver->cbAIn(0, 0, BIP5VOLTS, value), kStatusNoDevice);
        QCOMPARE(value, std::int16_t{77});
        QVERIFY(dynamic_cast<ComediDriver&>(*driver).lastError().startsWith(
            QLatin1String("/dev/comedi0: comedi_open: ")));
    }

    void deviceNodes_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("exists");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("highest board number") << QStringList{"ttyS0", "comedi199"} << true;
        QTest::newRow("beyond the board numbers") << QStringList{"comedi200"} << false;
        QTest::newRow("other names") << QStringList{"comedi", "comedi_x", "comedi0a"} << false;
    }
    void deviceNodes() {
        QFETCH(QStringList, files);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        for (const QString& f : files)
            QVERIFY(QFile(dir.filePath(f)).open(QIODevice::WriteOnly));
        QCOMPARE(comediDeviceExists(dir.path()), exists);
    }
};

} // namespace qvr::test

QTEST_GUILESS_MAIN(qvr::test::TestComediMachine)
#include "test_comedi_machine.moc"
