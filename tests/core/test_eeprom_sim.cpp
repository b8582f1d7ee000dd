// The head link against the simulated 93C46: every record the head can carry reads back.

#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "core/Settings.h"
#include "daq/sim/SimCard.h"
#include "head/Eeprom.h"
#include "head/HeadLines.h"
#include "head/HeadRecord.h"

#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include <QTest>

using namespace qvr;
using qvr::sim::Scenario;
using qvr::sim::SimCard;

Q_DECLARE_METATYPE(qvr::sim::Scenario)

namespace {

Scenario quiet(Scenario s) {
    s.conversionUs = 0;
    return s;
}

// Reads the whole record through the card as start-up does.
struct Link {
    explicit Link(const Scenario& s) : card(quiet(s), &clock) {
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

QByteArray allBytes(int from) {
    QByteArray b;
    for (int i = 0; i < 64; ++i)
        b.append(char((from + i) & 0xFF));
    return b;
}

} // namespace

class TestEepromSim : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void evenWordsOnly();
    void restoresLines_data();
    void restoresLines();
    void headStartsOnItsRecord_data();
    void headStartsOnItsRecord();
};

void TestEepromSim::roundTrip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected"); // empty: the bytes themselves
    const QByteArray nuls = QByteArray("QVR1\0\0\0\0"
                                       "1.9",
                                       11) +
                            QByteArray(53, '\0');
    QTest::newRow("built-in head") << sim::healthyRecord() << QByteArray();
    QTest::newRow("bytes 0 to 63") << allBytes(0) << QByteArray();
    QTest::newRow("bytes 192 to 255") << allBytes(192) << QByteArray();
    QTest::newRow("0 and 255 alternating")
        << QByteArray("\x00\xFF", 2).repeated(32) << QByteArray();
    QTest::newRow("NULs inside") << nuls << QByteArray();
    QTest::newRow("blank part: every bit 1") << QByteArray() << QByteArray(64, char(0xFF));
    QTest::newRow("short record, rest blank")
        << QByteArray("Q") << QByteArray("Q") + QByteArray(63, char(0xFF));
}

void TestEepromSim::roundTrip() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);
    Scenario s = Scenario::healthy();
    s.setRecord(bytes);
    Link link(s);
    QCOMPARE(link.read(), expected.isEmpty() ? bytes : expected);
    QCOMPARE(link.labels.text(Label::lblEEPROM).toLatin1(), expected.isEmpty() ? bytes : expected);
}

void TestEepromSim::evenWordsOnly() {
    Scenario s = Scenario::healthy();
    s.words.fill(0xFFFF);
    s.words[0] = 0x4142;
    s.words[1] = 0x0000;
    s.words[2] = 0x4344;
    s.words[3] = 0x1234;
    s.words[63] = 0x0000;
    Link link(s);
    const QByteArray got = link.read();
    QCOMPARE(got.left(4), QByteArray("ABCD"));
    QCOMPARE(got.mid(4), QByteArray(60, char(0xFF)));
}

void TestEepromSim::restoresLines_data() {
    QTest::addColumn<int>("entry");
    QTest::newRow("start-up image") << 8;
    QTest::newRow("LED on, second wavelength") << 14;
}

void TestEepromSim::restoresLines() {
    QFETCH(int, entry);
    Link link(Scenario::healthy());
    link.state.Control = static_cast<std::uint8_t>(entry);
    QCOMPARE(link.read(), sim::healthyRecord());
    QCOMPARE(int(link.card.outputLines()), entry);
    QCOMPARE(int(link.state.Control), entry);
}

void TestEepromSim::headStartsOnItsRecord_data() {
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QString>("sn");
    QTest::addColumn<bool>("identified");
    QTest::newRow("healthy head") << Scenario::healthy() << "1234" << true;
    Scenario blank = Scenario::healthy();
    blank.faults.blankEeprom = true;
    QTest::newRow("blank part") << blank << "1000" << false;
    Scenario off = Scenario::healthy();
    off.faults.disconnected = true;
    QTest::newRow("head disconnected") << off << "1000" << false;
}

// No message either way; without a record of its own, nothing would store a gain for head 1000.
void TestEepromSim::headStartsOnItsRecord() {
    QFETCH(Scenario, scenario);
    QFETCH(QString, sn);
    QFETCH(bool, identified);
    Link link(scenario);
    const QString raw = link.eeprom.getEEPROM();
    link.state.rdrEEPROM = raw;
    MemorySettings settings;
    test::RecordingMessageSink sink;
    parseEEPROM(link.state, link.labels, settings, sink);
    QVERIFY(sink.messages.isEmpty());
    QCOMPARE(link.state.rdrSN, sn);
    QCOMPARE(link.state.rdrGain, 1.9);
    QCOMPARE(link.state.headIdentified, identified);
    QCOMPARE(link.labels.text(Label::lblEEPROM), raw);
}

QTEST_GUILESS_MAIN(TestEepromSim)
#include "test_eeprom_sim.moc"
