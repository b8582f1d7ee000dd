// The head record over the port: the exact port sequence and its cost against a recording
// driver, and every record the head can carry read back through the simulated 93C46.

#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "daq/sim/SimCard.h"
#include "head/Eeprom.h"
#include "head/HeadLines.h"

#include "FakeDriver.h"
#include "ManualClock.h"

#include <QTest>
#include <chrono>

using namespace qvr;
using qvr::sim::Scenario;
using qvr::sim::SimCard;
using qvr::test::FakeDriver;

namespace {

constexpr int kRead = -1; // a port read in a port log

struct Rig {
    Rig() { state.Control = kStartupControl; }
    ReaderState state;
    FakeDriver driver;
    LabelModel labels;
    HeadLines lines{state, driver, labels};
    Eeprom eeprom{lines};
};

Scenario quick(Scenario s) {
    s.conversionUs = 0;
    return s;
}

// Reads the whole record through the simulated card as start-up does.
struct Link {
    explicit Link(const Scenario& s) : card(quick(s), &clock) {
        state.Control = kStartupControl;
        state.BoardNum = static_cast<std::int16_t>(card.headBoard());
    }
    QByteArray read() { return eeprom.getEEPROM().toLatin1(); }

    test::ManualClock clock;
    SimCard card;
    ReaderState state;
    LabelModel labels;
    HeadLines lines{state, card, labels};
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

QByteArray allBytes(int from) {
    QByteArray b;
    for (int i = 0; i < 64; ++i)
        b.append(char((from + i) & 0xFF));
    return b;
}

} // namespace

class TestEeprom : public QObject {
    Q_OBJECT
private slots:
    // The EEPROM lines are inverted at the port, and DO shows inverted on input bit 2.
    void wordZeroSequence() {
        Rig r;
        r.state.BoardNum = 3;
        r.driver.inputs = 4; // DO low throughout
        r.eeprom.getEEPROM();

        const QList<int> expected = QList<int>{8, 12, 13} + QList<int>{5, 5, 4, 5, 1, 0, 1} +
                                    QList<int>{1, 1, 0, 1} + repeated({5, 4, 5}, 7) +
                                    QList<int>{5} + repeated({4, 5, kRead}, 16) +
                                    QList<int>{13, 12};
        QCOMPARE(portLog(r.driver).mid(0, expected.size()), expected);
        for (const FakeDriver::Call& c : r.driver.calls) {
            QCOMPARE(c.board, 3);
            QCOMPARE(c.port, AUXPORT);
        }
        QCOMPARE(r.driver.countOf("cbDOut"), 2241);
        QCOMPARE(r.driver.countOf("cbDIn"), 512);
    }

    void restoresControl_data() {
        QTest::addColumn<int>("entry");
        QTest::newRow("LED on, second wavelength") << 14;
        QTest::newRow("buzzer pulse on") << 11;
    }
    void restoresControl() {
        QFETCH(int, entry);
        Link link(Scenario::healthy());
        link.state.Control = static_cast<std::uint8_t>(entry);
        QCOMPARE(link.read(), sim::healthyRecord());
        QCOMPARE(int(link.card.outputLines()), entry);
        QCOMPARE(int(link.state.Control), entry);
    }

    void stuckDataOut_data() {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("byte");
        // Input bit 2 is DO inverted; the film and button bits must not leak into the data.
        QTest::newRow("DO reads 1, no film, button down") << 7 << 0;
        QTest::newRow("DO reads 0: every byte 255") << 0 << 255;
        QTest::newRow("upper bits set, DO reads 0") << int(std::int16_t(0xFFFB)) << 255;
    }
    void stuckDataOut() {
        QFETCH(int, inputs);
        QFETCH(int, byte);
        Rig r;
        r.driver.inputs = static_cast<std::int16_t>(inputs);
        QCOMPARE(r.eeprom.getEEPROM(), QString(kHeadRecordLength, QChar(byte)));
    }

    void failingDriverStillGives64() {
        Rig r;
        r.driver.status = 1; // no board: every call fails and leaves Status alone
        r.state.Status = 0;
        QCOMPARE(r.eeprom.getEEPROM().size(), kHeadRecordLength);
        QCOMPARE(r.state.ULStat, std::int16_t(1));
        QCOMPARE(int(r.state.Control), int(kStartupControl));
    }

    void addressOutsideThePart_data() {
        QTest::addColumn<int>("reg");
        QTest::newRow("64 would be an erase") << 64;
        QTest::newRow("negative") << -1;
    }
    void addressOutsideThePart() {
        QFETCH(int, reg);
        Rig r;
        QCOMPARE(r.eeprom.readEeprom(reg), QString(2, QChar(0)));
        QVERIFY(r.driver.calls.isEmpty());
        QCOMPARE(int(r.state.Control), int(kStartupControl));
    }

    // A lower bound only: the busy wait can last longer, never shorter.
    void pauseLasts() {
        using namespace std::chrono;
        static_assert(kEepromPause >= nanoseconds(250));
        const auto start = steady_clock::now();
        eepromPause();
        QVERIFY(steady_clock::now() - start >= kEepromPause);
    }

    void roundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected"); // empty: the bytes themselves
        QTest::newRow("bytes 0 to 63") << allBytes(0) << QByteArray();
        QTest::newRow("bytes 192 to 255") << allBytes(192) << QByteArray();
        QTest::newRow("blank part: every bit 1") << QByteArray() << QByteArray(64, char(0xFF));
        QTest::newRow("short record, rest blank")
            << QByteArray("Q") << QByteArray("Q") + QByteArray(63, char(0xFF));
    }
    void roundTrip() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        Scenario s = Scenario::healthy();
        s.setRecord(bytes);
        Link link(s);
        QCOMPARE(link.read(), expected.isEmpty() ? bytes : expected);
        QCOMPARE(link.labels.text(Label::lblEEPROM).toLatin1(),
                 expected.isEmpty() ? bytes : expected);
    }
};

QTEST_GUILESS_MAIN(TestEeprom)
#include "test_eeprom.moc"
