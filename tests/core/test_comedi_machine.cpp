// The real comedilib backend on a machine without a card, and the device-node check.

#include "daq/ComediDriver.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

namespace qvr::test {

class TestComediMachine : public QObject {
    Q_OBJECT

private slots:
    void noCardMeansNoBoard();
    void deviceNodes_data();
    void deviceNodes();
};

void TestComediMachine::noCardMeansNoBoard() {
    if (comediDeviceExists())
        QSKIP("this machine has a comedi device");
    const std::unique_ptr<DaqDriver> driver = makeComediDriver();
    QVERIFY(driver);

    for (int board : {0, 1, kMaxBoards - 1}) {
        std::int32_t type = 0;
        QVERIFY(driver->cbGetConfig(BOARDINFO, board, 0, BIBOARDTYPE, type) != 0);
        QCOMPARE(type, 0);
    }
    std::int16_t value = 77;
    QCOMPARE(driver->cbAIn(0, 0, BIP5VOLTS, value), kComediNoDevice);
    QCOMPARE(driver->cbDIn(0, AUXPORT, value), kComediNoDevice);
    QCOMPARE(driver->cbDOut(0, AUXPORT, 0), kComediNoDevice);
    QCOMPARE(value, std::int16_t{77});
    char name[kBoardNameSize];
    std::memset(name, ' ', sizeof name);
    QCOMPARE(driver->cbGetBoardName(0, name), kComediNoDevice);
    QCOMPARE(QByteArray(name, sizeof name), QByteArray(kBoardNameSize, ' '));

    auto* comedi = dynamic_cast<ComediDriver*>(driver.get());
    QVERIFY(comedi);
    QVERIFY(comedi->lastError().startsWith(QLatin1String("/dev/comedi0: comedi_open: ")));
}

void TestComediMachine::deviceNodes_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("exists");

    QTest::newRow("none") << QStringList{} << false;
    QTest::newRow("comedi0") << QStringList{"comedi0"} << true;
    QTest::newRow("highest board number") << QStringList{"comedi199"} << true;
    QTest::newRow("beyond the board numbers") << QStringList{"comedi200"} << false;
    QTest::newRow("no number") << QStringList{"comedi"} << false;
    QTest::newRow("other names") << QStringList{"comedi_x", "comedi0a", "ttyS0"} << false;
    QTest::newRow("among others") << QStringList{"ttyS0", "comedi3"} << true;
}

void TestComediMachine::deviceNodes() {
    QFETCH(QStringList, files);
    QFETCH(bool, exists);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& f : files) {
        QFile file(dir.filePath(f));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(comediDeviceExists(dir.path()), exists);
}

} // namespace qvr::test

QTEST_GUILESS_MAIN(qvr::test::TestComediMachine)
#include "test_comedi_machine.moc"
