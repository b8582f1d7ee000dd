#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "head/Eeprom.h"
#include "head/HeadLines.h"

#include "FakeDriver.h"

#include <QTest>
#include <chrono>

using namespace qvr;
using qvr::test::FakeDriver;

namespace {

constexpr int kRead = -1; // a port read in a port log

struct Rig {
    ReaderState state;
    FakeDriver driver;
    LabelModel labels;
    HeadLines lines{state, driver, labels};
    Eeprom eeprom{lines};
};

// Port writes and reads in call order: written values, and kRead for each read.
QList<int> portLog(const FakeDriver& d) {
    QList<int> log;
    for (const FakeDriver::Call& c : d.calls) {
        if (c.kind == QLatin1String("cbDOut"))
            log.append(c.value);
        else if (c.kind == QLatin1String("cbDIn"))
            log.append(kRead);
    }
    return log;
}

QList<int> repeated(const QList<int>& part, int times) {
    QList<int> out;
    for (int i = 0; i < times; ++i)
        out += part;
    return out;
}

} // namespace

class TestEeprom : public QObject {
    Q_OBJECT
private slots:
    void wordZeroSequence();
    void restoresControl_data();
    void restoresControl();
    void wholeRecordCost();
    void stuckDataOut_data();
    void stuckDataOut();
    void failingDriverStillGives64();
    void addressOutsideThePart_data();
    void addressOutsideThePart();
    void pauseLasts();
};

void TestEeprom::wordZeroSequence() {
    Rig r;
    r.state.Control = kStartupControl;
    r.state.BoardNum = 3;
    r.driver.inputs = 4; // DO low throughout
    r.eeprom.getEEPROM();

    const QList<int> expected = QList<int>{8, 12, 13} + QList<int>{5, 5, 4, 5, 1, 0, 1} +
                                QList<int>{1, 1, 0, 1} + repeated({5, 4, 5}, 7) + QList<int>{5} +
                                repeated({4, 5, kRead}, 16) + QList<int>{13, 12};
    QCOMPARE(portLog(r.driver).mid(0, expected.size()), expected);
    for (const FakeDriver::Call& c : r.driver.calls) {
        QCOMPARE(c.board, 3);
        QCOMPARE(c.port, AUXPORT);
    }
}

void TestEeprom::restoresControl_data() {
    QTest::addColumn<int>("entry");
    QTest::newRow("start-up image") << 8;
    QTest::newRow("LED on, second wavelength") << 14;
    QTest::newRow("buzzer pulse on") << 11;
}

void TestEeprom::restoresControl() {
    QFETCH(int, entry);
    Rig r;
    r.state.Control = static_cast<std::uint8_t>(entry);
    const QString record = r.eeprom.getEEPROM();
    QCOMPARE(r.driver.doutValues().last(), entry);
    QCOMPARE(int(r.state.Control), entry);
    QCOMPARE(r.labels.text(Label::lblEEPROM), record);
}

void TestEeprom::wholeRecordCost() {
    Rig r;
    r.state.Control = kStartupControl;
    r.eeprom.getEEPROM();
    QCOMPARE(r.driver.countOf("cbDOut"), 2241);
    QCOMPARE(r.driver.countOf("cbDIn"), 512);
}

void TestEeprom::stuckDataOut_data() {
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("byte");
    // Input bit 2 is DO inverted; the film and button bits must not leak into the data.
    QTest::newRow("DO reads 1: every byte 0") << 4 << 0;
    QTest::newRow("DO reads 1, no film, button down") << 7 << 0;
    QTest::newRow("DO reads 0: every byte 255") << 0 << 255;
    QTest::newRow("upper bits set, DO reads 0") << int(std::int16_t(0xFFFB)) << 255;
}

void TestEeprom::stuckDataOut() {
    QFETCH(int, inputs);
    QFETCH(int, byte);
    Rig r;
    r.state.Control = kStartupControl;
    r.driver.inputs = static_cast<std::int16_t>(inputs);
    const QString record = r.eeprom.getEEPROM();
    QCOMPARE(record, QString(kHeadRecordLength, QChar(byte)));
}

void TestEeprom::failingDriverStillGives64() {
    Rig r;
    r.state.Control = kStartupControl;
    r.driver.status = 1; // no board: every call fails and leaves Status alone
    r.state.Status = 0;
    const QString record = r.eeprom.getEEPROM();
    QCOMPARE(record.size(), kHeadRecordLength);
    QCOMPARE(r.state.ULStat, std::int16_t(1));
    QCOMPARE(int(r.state.Control), int(kStartupControl));
}

void TestEeprom::addressOutsideThePart_data() {
    QTest::addColumn<int>("reg");
    QTest::newRow("64 would be an erase") << 64;
    QTest::newRow("negative") << -1;
}

void TestEeprom::addressOutsideThePart() {
    QFETCH(int, reg);
    Rig r;
    r.state.Control = kStartupControl;
    QCOMPARE(r.eeprom.readEeprom(reg), QString(2, QChar(0)));
    QVERIFY(r.driver.calls.isEmpty());
    QCOMPARE(int(r.state.Control), int(kStartupControl));
}

// A lower bound only: the busy wait can last longer, never shorter.
void TestEeprom::pauseLasts() {
    using namespace std::chrono;
    static_assert(kEepromPause >= nanoseconds(250));
    const auto start = steady_clock::now();
    eepromPause();
    QVERIFY(steady_clock::now() - start >= kEepromPause);
}

QTEST_GUILESS_MAIN(TestEeprom)
#include "test_eeprom.moc"
