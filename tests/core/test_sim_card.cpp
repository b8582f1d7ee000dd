// The simulated card through the driver contract: boards, head lines, EEPROM over the port,
// optics, noise, faults and timed events.

#include "ManualClock.h"
#include "sim/SimCard.h"

#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <cstring>

using namespace qvr::sim;

namespace qvr::test {

namespace {

std::int16_t readInputs(SimCard& card, int board = 0) {
    std::int16_t v = -1;
    card.cbDIn(board, AUXPORT, v);
    return v;
}

int convert(SimCard& card, int board = 0, int chan = 0) {
    std::int16_t v = -1;
    card.cbAIn(board, chan, BIP5VOLTS, v);
    return v;
}

// The port side of one word read, as the reader's documented procedure does it (entered
// with the image 8): select, leading zero, start bit, code byte 128 + reg, 16 data clocks.
QList<int> readWordWrites(int reg) {
    QList<int> w{8, 12, 13, 5, 5, 4, 5, 1, 0, 1, 1};
    const int code = 128 + reg;
    for (int mask = 128; mask; mask >>= 1)
        w << ((code & mask) ? QList<int>{1, 0, 1} : QList<int>{5, 4, 5});
    w << 5; // DI low after the code byte
    return w;
}

unsigned readWordThroughPort(SimCard& card, int reg) {
    for (int v : readWordWrites(reg))
        card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(v));
    unsigned word = 0;
    for (int i = 0; i < 16; ++i) {
        card.cbDOut(0, AUXPORT, 4); // SK high (port bit 0 clear), DI low
        card.cbDOut(0, AUXPORT, 5); // SK low
        word = (word << 1) | ((readInputs(card) & 4) == 0 ? 1u : 0u);
    }
    card.cbDOut(0, AUXPORT, 13);
    card.cbDOut(0, AUXPORT, 12);
    return word;
}

QByteArray readRecordThroughPort(SimCard& card) {
    QByteArray r;
    for (int reg = 0; reg < 64; reg += 2) {
        const unsigned w = readWordThroughPort(card, reg);
        r += static_cast<char>(w >> 8);
        r += static_cast<char>(w & 0xFF);
    }
    return r;
}

} // namespace

class TestSimCard : public QObject {
    Q_OBJECT
private slots:
    // --- boards -----------------------------------------------------------------------------

    void boardTable_data() {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::newRow("the PCI-DAS08") << 1 << int(kDas08BoardType) << "PCI-DAS08";
        QTest::newRow("another card") << 3 << 7 << "PCI-DIO24";
        QTest::newRow("a longest name") << 4 << int(kOtherBoardType) << "ABCDEFGHIJKLMNOPQRSTUVWX";
        QTest::newRow("empty number") << 0 << 0 << "";
        QTest::newRow("beyond the table") << 199 << 0 << "";
    }
    void boardTable() {
        QFETCH(int, board);
        QFETCH(int, type);
        QFETCH(QString, name);
        Scenario s = Scenario::quiet();
        s.boards = {Board{1, kDas08BoardType, "PCI-DAS08"}, Board{3, 7, "PCI-DIO24"},
                    Board{4, kOtherBoardType, "ABCDEFGHIJKLMNOPQRSTUVWX"}};
        SimCard card(s);
        std::int32_t value = 12345;
        const int status = card.cbGetConfig(BOARDINFO, board, 0, BIBOARDTYPE, value);
        QCOMPARE(value, type);
        QCOMPARE(status == 0, type != 0);
        if (type == 0)
            return;
        char buf[kBoardNameSize];
        std::memset(buf, ' ', sizeof buf);
        QCOMPARE(card.cbGetBoardName(board, buf), 0);
        const QByteArray n = name.toLatin1();
        QCOMPARE(QByteArray(buf, static_cast<int>(n.size())), n);
        QCOMPARE(buf[n.size()], '\0');
        for (int i = static_cast<int>(n.size()) + 1; i < kBoardNameSize; ++i)
            QCOMPARE(buf[i], ' ');
    }

    void headIsOnTheLowestNumberedDas08() {
        Scenario s = Scenario::quiet();
        s.boards = {Board{5, kDas08BoardType, "PCI-DAS08"}, Board{0, 7, "PCI-DIO24"},
                    Board{2, kDas08BoardType, "PCI-DAS08"}};
        SimCard card(s);
        QCOMPARE(card.headBoard(), 2);
        QCOMPARE(readInputs(card, 2), std::int16_t(1 | 4)); // no film, DO released
        QCOMPARE(readInputs(card, 0), std::int16_t(7));     // nothing on that cable
        QCOMPARE(readInputs(card, 5), std::int16_t(7));
    }

    void refusedArguments_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("status");
        QTest::newRow("AIn on a missing board") << "ain-board" << kStatusBadBoard;
        QTest::newRow("AIn channel 8") << "ain-chan" << kStatusBadChannel;
        QTest::newRow("AIn unipolar range") << "ain-range" << kStatusBadRange;
        QTest::newRow("DIn port 0") << "din-port" << kStatusBadPort;
        QTest::newRow("DOut on a missing board") << "dout-board" << kStatusBadBoard;
        QTest::newRow("GetConfig other item") << "config-item" << kStatusBadConfigItem;
        QTest::newRow("GetBoardName missing board") << "name-board" << kStatusBadBoard;
    }
    void refusedArguments() {
        QFETCH(QString, call);
        QFETCH(int, status);
        SimCard card(Scenario::quiet());
        std::int16_t v = -123;
        std::int32_t c = -123;
        char buf[kBoardNameSize];
        std::memset(buf, ' ', sizeof buf);
        int got = 0;
        if (call == "ain-board")
            got = card.cbAIn(1, 0, BIP5VOLTS, v);
        else if (call == "ain-chan")
            got = card.cbAIn(0, 8, BIP5VOLTS, v);
        else if (call == "ain-range")
            got = card.cbAIn(0, 0, 100, v);
        else if (call == "din-port")
            got = card.cbDIn(0, 0, v);
        else if (call == "dout-board")
            got = card.cbDOut(1, AUXPORT, 12);
        else if (call == "config-item")
            got = card.cbGetConfig(BOARDINFO, 0, 0, 99, c);
        else
            got = card.cbGetBoardName(1, buf);
        QCOMPARE(got, status);
        QCOMPARE(v, std::int16_t(-123)); // destinations untouched
        QCOMPARE(c, -123);
        QCOMPARE(buf[0], ' ');
        QCOMPARE(card.outputLines(), std::uint8_t(0));
    }

    // --- head lines -------------------------------------------------------------------------

    void inputLines_data() {
        QTest::addColumn<bool>("film");
        QTest::addColumn<bool>("filterHolder");
        QTest::addColumn<bool>("button");
        QTest::addColumn<int>("inputs");
        QTest::newRow("clear path") << false << false << false << (1 | 4);
        QTest::newRow("film in") << true << false << false << 4;
        QTest::newRow("button held") << false << false << true << (1 | 2 | 4);
        QTest::newRow("film and button") << true << false << true << (2 | 4);
        QTest::newRow("filter holder, no film switch") << true << true << false << (1 | 4);
    }
    void inputLines() {
        QFETCH(bool, film);
        QFETCH(bool, filterHolder);
        QFETCH(bool, button);
        QFETCH(int, inputs);
        Scenario s = Scenario::quiet();
        s.film.present = film;
        s.holder = filterHolder ? Holder::Filter : Holder::Film;
        s.button = button;
        SimCard card(s);
        QCOMPARE(readInputs(card), std::int16_t(inputs));
    }

    void undrivenDoIsASetting_data() {
        QTest::addColumn<int>("level");
        QTest::newRow("0") << 0;
        QTest::newRow("1") << 1;
    }
    void undrivenDoIsASetting() {
        QFETCH(int, level);
        Scenario s = Scenario::quiet();
        s.undrivenDo = level;
        SimCard card(s);
        QCOMPARE(readInputs(card) & 4, level * 4);
        card.cbDOut(0, AUXPORT, 8);
        QCOMPARE(readInputs(card) & 4, level * 4);
    }

    void outputIndicators_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("led");
        QTest::addColumn<bool>("buzzer");
        QTest::addColumn<bool>("second");
        QTest::addColumn<bool>("selected");
        QTest::newRow("start-up image") << 8 << false << false << false << false;
        QTest::newRow("LED on") << 12 << true << false << false << false;
        QTest::newRow("second wavelength, buzzer") << 11 << false << true << true << false;
        QTest::newRow("shut-down 0") << 0 << false << false << false << true;
        QTest::newRow("upper byte ignored") << 0x0F06 << true << false << true << true;
    }
    void outputIndicators() {
        QFETCH(int, value);
        QFETCH(bool, led);
        QFETCH(bool, buzzer);
        QFETCH(bool, second);
        QFETCH(bool, selected);
        SimCard card(Scenario::quiet());
        QCOMPARE(card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(value)), 0);
        QCOMPARE(card.ledOn(), led);
        QCOMPARE(card.buzzerOn(), buzzer);
        QCOMPARE(card.secondWavelength(), second);
        QCOMPARE(card.chipSelected(), selected);
    }

    void linesChangedOnlyOnAChange() {
        SimCard card(Scenario::quiet());
        QSignalSpy spy(&card, &SimCard::linesChanged);
        card.cbDOut(0, AUXPORT, 8);
        card.cbDOut(0, AUXPORT, 8);
        card.cbDOut(0, AUXPORT, 12);
        QCOMPARE(spy.count(), 2);
    }

    // --- the EEPROM over the port -----------------------------------------------------------

    void documentedSequenceReadsWordZero() {
        Scenario s = Scenario::quiet();
        s.setRecord("QV");
        SimCard card(s);
        // Written out port value by port value, as the reader's read procedure does it.
        // clang-format off
        const QList<int> writes{
            8, 12, 13,            // idle: CS released, DI low, SK low
            5, 5, 4, 5, 1, 0, 1,  // select, leading zero, start bit
            1,                    // SK low
            1, 0, 1,              // code bit 7: a one
            5, 4, 5,  5, 4, 5,  5, 4, 5,  5, 4, 5,  5, 4, 5,  5, 4, 5,  5, 4, 5, // bits 6..0
            5,                    // DI low
        };
        // clang-format on
        QCOMPARE(writes, readWordWrites(0));
        for (int v : writes)
            QCOMPARE(card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(v)), 0);
        unsigned word = 0;
        for (int i = 0; i < 16; ++i) {
            card.cbDOut(0, AUXPORT, 4);
            card.cbDOut(0, AUXPORT, 5);
            std::int16_t status = 0;
            QCOMPARE(card.cbDIn(0, AUXPORT, status), 0);
            word = word * 2 + ((status & 4) == 0 ? 1 : 0);
        }
        card.cbDOut(0, AUXPORT, 13);
        QCOMPARE(word, 0x5156u);           // 'Q', 'V'
        QCOMPARE(readInputs(card) & 4, 4); // released again: the undriven level
    }

    void recordsReadBackThroughThePort_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("healthy head") << healthyRecord();
        QByteArray all;
        for (int i = 0; i < 64; ++i)
            all += static_cast<char>(i * 4 + 3);
        QTest::newRow("every kind of byte") << all;
        QTest::newRow("NULs and 255") << QByteArray("Q\0\0\xff\xff", 5);
        QTest::newRow("short: the rest 0xFF") << QByteArray("QVR100");
    }
    void recordsReadBackThroughThePort() {
        QFETCH(QByteArray, record);
        Scenario s = Scenario::quiet();
        s.setRecord(record);
        SimCard card(s);
        const QByteArray expected = record + QByteArray(64 - record.size(), '\xff');
        QCOMPARE(readRecordThroughPort(card), expected);
        QCOMPARE(card.record(), expected);
    }

    void oddWordsAreNotInTheRecord() {
        Scenario s = Scenario::quiet();
        s.words.fill(0x1234);
        s.words[0] = 0x4142;
        s.words[2] = 0x4344;
        SimCard card(s);
        QCOMPARE(readWordThroughPort(card, 1), 0x1234u);
        QCOMPARE(readRecordThroughPort(card).left(4), QByteArray("ABCD"));
    }

    // --- optics and quantisation ------------------------------------------------------------

    void converterCounts_data() {
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("lamp");
        QTest::addColumn<double>("od");
        QTest::addColumn<int>("count");
        // count = round((gain * (lamp - od) + 5) * 409.5), clamped to 0..4095
        QTest::newRow("0 V is half a count up") << 1.0 << 0.0 << 0.0 << 2048;
        QTest::newRow("healthy clear path") << 1.9 << 2.0 << 0.0 << 3604;
        QTest::newRow("+5 V exactly") << 1.0 << 5.0 << 0.0 << 4095;
        QTest::newRow("above +5 V clamps") << 10.0 << 5.0 << 0.0 << 4095;
        QTest::newRow("-5 V exactly") << 1.0 << 0.0 << 5.0 << 0;
        QTest::newRow("below -5 V clamps") << 10.0 << -5.0 << 10.0 << 0;
        QTest::newRow("one count below +5 V") << 1.0 << 4.9976 << 0.0 << 4094;
        QTest::newRow("film od 1, a half rounds up") << 2.0 << 2.0 << 1.0 << 2867;
    }
    void converterCounts() {
        QFETCH(double, gain);
        QFETCH(double, lamp);
        QFETCH(double, od);
        QFETCH(int, count);
        Scenario s = Scenario::quiet();
        s.gain = gain;
        s.lamp = lamp;
        s.film = Film{od > 0, {od, od}};
        SimCard card(s);
        QCOMPARE(convert(card), count);
        QCOMPARE(card.idealCount(), count);
    }

    void densityInThePath_data() {
        QTest::addColumn<bool>("filterHolder");
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("port");
        QTest::addColumn<double>("od");
        QTest::newRow("film, first wavelength") << false << 0 << 8 << 0.8;
        QTest::newRow("film, second wavelength") << false << 0 << 10 << 0.4;
        QTest::newRow("filter holder empty") << true << 0 << 8 << 0.0;
        QTest::newRow("light filter") << true << 1 << 8 << 0.3;
        QTest::newRow("medium filter, second wl") << true << 2 << 10 << 1.0;
        QTest::newRow("dark filter") << true << 3 << 8 << 2.0;
    }
    void densityInThePath() {
        QFETCH(bool, filterHolder);
        QFETCH(int, filter);
        QFETCH(int, port);
        QFETCH(double, od);
        Scenario s = Scenario::quiet();
        s.gain = 2.0;
        s.lamp = 2.0;
        s.film = Film{true, {0.8, 0.4}};
        s.holder = filterHolder ? Holder::Filter : Holder::Film;
        s.filters.inserted = static_cast<Filter>(filter);
        SimCard card(s);
        card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(port));
        QCOMPARE(convert(card), static_cast<int>(std::round((2.0 * (2.0 - od) + 5) * 409.5)));
    }

    void otherChannelsReadOpenInputs() {
        SimCard card(Scenario::quiet());
        QCOMPARE(convert(card, 0, 7), 2048);
    }

    void noiseIsSeededAndGaussian() {
        Scenario s = Scenario::quiet();
        s.lamp = 0;
        s.noise = 20;
        s.seed = 77;
        SimCard a(s), b(s);
        s.seed = 78;
        SimCard c(s);
        const int n = 20000;
        double sum = 0, sq = 0;
        bool differs = false;
        for (int i = 0; i < n; ++i) {
            const int x = convert(a);
            QCOMPARE(convert(b), x);
            differs = differs || convert(c) != x;
            sum += x - 2047.5;
            sq += (x - 2047.5) * (x - 2047.5);
        }
        QVERIFY(differs);
        const double mean = sum / n;
        const double sd = std::sqrt(sq / n - mean * mean);
        QVERIFY2(std::abs(mean) < 0.5, qPrintable(QString::number(mean)));
        QVERIFY2(std::abs(sd - 20) < 0.6, qPrintable(QString::number(sd)));
    }

    // --- faults -----------------------------------------------------------------------------

    void failingCalls_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("every");
        QTest::addColumn<QList<int>>("statuses");
        QTest::newRow("cbAIn always") << int(CallKind::AIn) << 1 << QList<int>{9, 9, 9, 9};
        QTest::newRow("cbDIn 1 in 3") << int(CallKind::DIn) << 3 << QList<int>{0, 0, 9, 0, 0, 9};
        QTest::newRow("cbDOut 1 in 2") << int(CallKind::DOut) << 2 << QList<int>{0, 9, 0, 9};
        QTest::newRow("cbGetConfig always") << int(CallKind::GetConfig) << 1 << QList<int>{9, 9};
        QTest::newRow("cbGetBoardName 1 in 2")
            << int(CallKind::GetBoardName) << 2 << QList<int>{0, 9, 0};
        QTest::newRow("off") << int(CallKind::AIn) << 0 << QList<int>{0, 0, 0};
    }
    void failingCalls() {
        QFETCH(int, kind);
        QFETCH(int, every);
        QFETCH(QList<int>, statuses);
        Scenario s = Scenario::quiet();
        s.faults.failEvery[static_cast<std::size_t>(kind)] = every;
        s.faults.failStatus = 9;
        SimCard card(s);
        for (int i = 0; i < statuses.size(); ++i) {
            std::int16_t v = -77;
            std::int32_t c = -77;
            char buf[kBoardNameSize];
            std::memset(buf, ' ', sizeof buf);
            const std::uint8_t before = card.outputLines();
            int status = 0;
            bool untouched = false;
            switch (static_cast<CallKind>(kind)) {
            case CallKind::AIn:
                status = card.cbAIn(0, 0, BIP5VOLTS, v);
                untouched = v == -77;
                break;
            case CallKind::DIn:
                status = card.cbDIn(0, AUXPORT, v);
                untouched = v == -77;
                break;
            case CallKind::DOut:
                status = card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(8 + i));
                untouched = card.outputLines() == before;
                break;
            case CallKind::GetConfig:
                status = card.cbGetConfig(BOARDINFO, 0, 0, BIBOARDTYPE, c);
                untouched = c == -77;
                break;
            case CallKind::GetBoardName:
                status = card.cbGetBoardName(0, buf);
                untouched = buf[0] == ' ';
                break;
            }
            QCOMPARE(status, statuses[i]);
            QCOMPARE(untouched, status != 0);
        }
    }

    void noBoardInstalled() {
        Scenario s = Scenario::quiet();
        s.faults.noBoard = true;
        SimCard card(s);
        for (int b = 0; b < kMaxBoards; ++b) {
            std::int32_t type = 5;
            card.cbGetConfig(BOARDINFO, b, 0, BIBOARDTYPE, type);
            QCOMPARE(type, 0);
        }
        std::int16_t v = -1;
        QCOMPARE(card.cbAIn(0, 0, BIP5VOLTS, v), kStatusBadBoard);
        QCOMPARE(card.headBoard(), -1);
    }

    void anotherBoardModel() {
        Scenario s = Scenario::quiet();
        s.faults.otherModel = true;
        SimCard card(s);
        std::int32_t type = 0;
        QCOMPARE(card.cbGetConfig(BOARDINFO, 0, 0, BIBOARDTYPE, type), 0);
        QCOMPARE(type, kOtherBoardType);
        char buf[kBoardNameSize];
        card.cbGetBoardName(0, buf);
        QCOMPARE(QByteArray(buf), QByteArray(kOtherModelName));
        QCOMPARE(readInputs(card), std::int16_t(7)); // no head on that card
        QVERIFY(convert(card) < 10);
    }

    void eepromFaults_data() {
        QTest::addColumn<bool>("blank");
        QTest::addColumn<int>("stuck");
        QTest::addColumn<bool>("disconnected");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("blank EEPROM") << true << -1 << false << QByteArray(64, '\xff');
        QTest::newRow("DO port bit stuck at 0") << false << 0 << false << QByteArray(64, '\xff');
        QTest::newRow("DO port bit stuck at 1") << false << 1 << false << QByteArray(64, '\0');
        QTest::newRow("disconnected head") << false << -1 << true << QByteArray(64, '\0');
    }
    void eepromFaults() {
        QFETCH(bool, blank);
        QFETCH(int, stuck);
        QFETCH(bool, disconnected);
        QFETCH(QByteArray, record);
        Scenario s = Scenario::quiet();
        s.faults.blankEeprom = blank;
        s.faults.doStuck = stuck;
        s.faults.disconnected = disconnected;
        SimCard card(s);
        QCOMPARE(readRecordThroughPort(card), record);
    }

    void deadConverterAndDisconnectedHead() {
        Scenario s = Scenario::quiet();
        s.faults.deadConverter = true;
        SimCard dead(s);
        QCOMPARE(convert(dead), 0);
        s.faults.deadConverter = false;
        s.faults.disconnected = true;
        s.button = true;
        s.film.present = true;
        SimCard off(s);
        QCOMPARE(readInputs(off), std::int16_t(7));
        QCOMPARE(convert(off), 4); // -4.99 V
    }

    // --- changes while running --------------------------------------------------------------

    void eventsFallDueOnTheClock() {
        ManualClock clock;
        clock.advance(5000); // the card counts from its own start
        Scenario s = Scenario::quiet();
        s.events = {Event{2000, QJsonObject{{"film", QJsonObject{{"present", true}}}}},
                    Event{2000, QJsonObject{{"button", true}}},
                    Event{3500, QJsonObject{{"faults", QJsonObject{{"dead_converter", true}}}}}};
        SimCard card(s, &clock);
        QSignalSpy spy(&card, &SimCard::conditionsChanged);
        clock.advance(1999);
        QCOMPARE(readInputs(card), std::int16_t(1 | 4));
        QCOMPARE(spy.count(), 0);
        clock.advance(1);
        QCOMPARE(readInputs(card), std::int16_t(2 | 4));
        QCOMPARE(spy.count(), 1);
        QVERIFY(convert(card) > 0);
        clock.advance(1500);
        card.applyDueEvents();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(convert(card), 0);
    }

    void eventChangingTheRecord() {
        ManualClock clock;
        Scenario s = Scenario::quiet();
        s.events = {Event{1000, QJsonObject{{"record", "QVR10019991.0450650"}}}};
        SimCard card(s, &clock);
        QCOMPARE(readRecordThroughPort(card), healthyRecord());
        clock.advance(1000);
        QCOMPARE(readRecordThroughPort(card).left(19), QByteArray("QVR10019991.0450650"));
    }

    void liveChanges() {
        SimCard card(Scenario::quiet());
        QSignalSpy spy(&card, &SimCard::conditionsChanged);
        card.setHolder(Holder::Film); // already so
        QCOMPARE(spy.count(), 0);
        card.setFilmPresent(true);
        card.setFilmOd(0, 1.0);
        card.setFilmOd(1, 0.5);
        card.setLamp(2.5);
        card.setNoise(3);
        card.setButtonHeld(true);
        QCOMPARE(spy.count(), 6);
        QCOMPARE(card.conditions().film.od[0], 1.0);
        QCOMPARE(card.conditions().noise, 3.0);
        QCOMPARE(readInputs(card), std::int16_t(2 | 4));
        QCOMPARE(card.idealCount(), static_cast<int>(std::round((1.9 * 1.5 + 5) * 409.5)));
        card.setHolder(Holder::Filter);
        card.setFilterInserted(Filter::Medium);
        QCOMPARE(card.idealCount(), static_cast<int>(std::round((1.9 * 1.5 + 5) * 409.5)));
        card.setLamp(99); // held to the range a scenario allows
        QCOMPARE(card.conditions().lamp, 5.0);
        card.setFilmOd(2, 1.0); // no third wavelength
        QCOMPARE(spy.count(), 9);
    }
};

} // namespace qvr::test

QTEST_GUILESS_MAIN(qvr::test::TestSimCard)
#include "test_sim_card.moc"
