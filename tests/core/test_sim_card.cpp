// The simulated card through the driver contract: boards, head lines, EEPROM over the port,
// optics, noise, faults and timed events.

#include "ManualClock.h"
#include "daq/sim/SimCard.h"

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

int count(double volts) {
    return static_cast<int>(std::round((volts + 5) * 409.5));
}

} // namespace

class TestSimCard : public QObject {
    Q_OBJECT
private slots:
    void boardTable_data() {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("inputs"); // -1: the read fails
        QTest::newRow("the head's PCI-DAS08, the lowest numbered")
            << 2 << int(kDas08BoardType) << "PCI-DAS08" << (1 | 4); // no film, DO released
        // Nothing is on these cables: every input reads 1.
        QTest::newRow("a higher PCI-DAS08") << 5 << int(kDas08BoardType) << "PCI-DAS08" << 7;
        QTest::newRow("another card") << 0 << 7 << "PCI-DIO24" << 7;
        QTest::newRow("a longest name")
            << 4 << int(kOtherBoardType) << "ABCDEFGHIJKLMNOPQRSTUVWX" << 7;
        QTest::newRow("empty number") << 1 << 0 << "" << -1;
    }
    void boardTable() {
        QFETCH(int, board);
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(int, inputs);
        Scenario s = Scenario::quiet();
        s.boards = {Board{5, kDas08BoardType, "PCI-DAS08"}, Board{0, 7, "PCI-DIO24"},
                    Board{2, kDas08BoardType, "PCI-DAS08"},
                    Board{4, kOtherBoardType, "ABCDEFGHIJKLMNOPQRSTUVWX"}};
        SimCard card(s);
        QCOMPARE(card.headBoard(), 2);
        std::int32_t value = 12345;
        QCOMPARE(card.cbGetConfig(BOARDINFO, board, 0, BIBOARDTYPE, value) == 0, type != 0);
        QCOMPARE(value, type);
        char buf[kBoardNameSize];
        std::memset(buf, ' ', sizeof buf);
        QCOMPARE(card.cbGetBoardName(board, buf) == 0, type != 0);
        // The name and one NUL; the caller's bytes after it stay as they were.
        const QByteArray n = type ? name.toLatin1() + '\0' : QByteArray();
        QCOMPARE(QByteArray(buf, sizeof buf), n + QByteArray(kBoardNameSize - n.size(), ' '));
        QCOMPARE(readInputs(card, board), std::int16_t(inputs));
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
    }
    void refusedArguments() {
        QFETCH(QString, call);
        QFETCH(int, status);
        SimCard card(Scenario::quiet());
        std::int16_t v = -123;
        std::int32_t c = -123;
        const int got = call == "ain-board"    ? card.cbAIn(1, 0, BIP5VOLTS, v)
                        : call == "ain-chan"   ? card.cbAIn(0, 8, BIP5VOLTS, v)
                        : call == "ain-range"  ? card.cbAIn(0, 0, 100, v)
                        : call == "din-port"   ? card.cbDIn(0, 0, v)
                        : call == "dout-board" ? card.cbDOut(1, AUXPORT, 12)
                                               : card.cbGetConfig(BOARDINFO, 0, 0, 99, c);
        QCOMPARE(got, status);
        QCOMPARE(v, std::int16_t(-123)); // destinations untouched
        QCOMPARE(c, -123);
        QCOMPARE(card.outputLines(), std::uint8_t(0));
    }

    void inputLines_data() {
        QTest::addColumn<bool>("film");
        QTest::addColumn<bool>("filterHolder");
        QTest::addColumn<bool>("button");
        QTest::addColumn<int>("undrivenDo");
        QTest::addColumn<int>("inputs");
        QTest::newRow("clear path") << false << false << false << 1 << (1 | 4);
        QTest::newRow("film in") << true << false << false << 1 << 4;
        QTest::newRow("film and button") << true << false << true << 1 << (2 | 4);
        QTest::newRow("filter holder, no film switch") << true << true << false << 1 << (1 | 4);
        // Nothing drives DO between instructions: bit 2 reads as the scenario's level.
        QTest::newRow("DO undriven low") << false << false << false << 0 << 1;
    }
    void inputLines() {
        QFETCH(bool, film);
        QFETCH(bool, filterHolder);
        QFETCH(bool, button);
        QFETCH(int, undrivenDo);
        QFETCH(int, inputs);
        Scenario s = Scenario::quiet();
        s.film.present = film;
        s.holder = filterHolder ? Holder::Filter : Holder::Film;
        s.button = button;
        s.undrivenDo = undrivenDo;
        SimCard card(s);
        QCOMPARE(readInputs(card), std::int16_t(inputs));
    }

    void linesChangedOnlyOnAChange() {
        SimCard card(Scenario::quiet());
        QSignalSpy spy(&card, &SimCard::linesChanged);
        for (int v : {8, 8, 0x0F0C}) // the upper byte is no line
            card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(v));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(card.outputLines(), std::uint8_t(12));
    }

    void converterCounts_data() {
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("lamp");
        QTest::addColumn<double>("od");
        QTest::addColumn<int>("count");
        // count = round((gain * (lamp - od) + 5) * 409.5), clamped to 0..4095
        QTest::newRow("0 V is half a count up") << 1.0 << 0.0 << 0.0 << 2048;
        QTest::newRow("+5 V exactly") << 1.0 << 5.0 << 0.0 << 4095;
        QTest::newRow("above +5 V clamps") << 10.0 << 5.0 << 0.0 << 4095;
        QTest::newRow("below -5 V clamps") << 10.0 << -5.0 << 10.0 << 0;
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
        QCOMPARE(convert(card, 0, 7), 2048); // other channels read open inputs
    }

    void densityInThePath_data() {
        QTest::addColumn<bool>("filterHolder");
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("port");
        QTest::addColumn<double>("od");
        QTest::newRow("film, first wavelength") << false << 0 << 8 << 0.8;
        QTest::newRow("film, second wavelength") << false << 0 << 10 << 0.4;
        QTest::newRow("filter holder empty") << true << 0 << 8 << 0.0;
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
        s.film = Film{true, {0.8, 0.4}};
        s.holder = filterHolder ? Holder::Filter : Holder::Film;
        s.filters.inserted = static_cast<Filter>(filter);
        SimCard card(s);
        card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(port));
        QCOMPARE(convert(card), count(2.0 * (2.0 - od)));
    }

    // A damaged film is off by the damage at its wavelength alone, and never below no film.
    void damagedFilm_data() {
        QTest::addColumn<QByteArray>("film");
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("second");
        QTest::newRow("second reads high")
            << QByteArray(R"({"present": true, "od": [0.8, 0.4], "damage": [0, 0.25]})") << 0.8
            << 0.65;
        QTest::newRow("first reads low")
            << QByteArray(R"({"present": true, "od": [0.8, 0.4], "damage": [-0.3, 0]})") << 0.5
            << 0.4;
        QTest::newRow("not below clear")
            << QByteArray(R"({"present": true, "od": [0.8, 0.4], "damage": [0, -1]})") << 0.8
            << 0.0;
        QTest::newRow("no film, no damage seen")
            << QByteArray(R"({"present": false, "od": [0.8, 0.4], "damage": [1, 1]})") << 0.0
            << 0.0;
    }
    void damagedFilm() {
        QFETCH(QByteArray, film);
        QFETCH(double, first);
        QFETCH(double, second);
        QString why;
        std::optional<Scenario> s = parseScenario(R"({"gain": 2, "film": )" + film + "}", &why);
        QVERIFY2(s, qPrintable(why));
        s->noise = 0;
        s->conversionUs = 0;
        SimCard card(*s);
        card.cbDOut(0, AUXPORT, 8);
        QCOMPARE(convert(card), count(2.0 * (2.0 - first)));
        card.cbDOut(0, AUXPORT, 10);
        QCOMPARE(convert(card), count(2.0 * (2.0 - second)));
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

    void failingCalls_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("every");
        QTest::addColumn<QList<int>>("statuses");
        QTest::newRow("cbAIn always") << int(CallKind::AIn) << 1 << QList<int>{9, 9, 9};
        QTest::newRow("cbDIn 1 in 3") << int(CallKind::DIn) << 3 << QList<int>{0, 0, 9, 0, 0, 9};
        QTest::newRow("cbDOut 1 in 2") << int(CallKind::DOut) << 2 << QList<int>{0, 9, 0, 9};
        QTest::newRow("cbGetConfig always") << int(CallKind::GetConfig) << 1 << QList<int>{9, 9};
        QTest::newRow("cbGetBoardName 1 in 2")
            << int(CallKind::GetBoardName) << 2 << QList<int>{0, 9, 0};
        QTest::newRow("off") << int(CallKind::AIn) << 0 << QList<int>{0, 0, 0};
    }
    // A failed call changes nothing: neither its destination nor the lines.
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
            char buf[kBoardNameSize] = {' '};
            const std::uint8_t before = card.outputLines();
            const auto k = static_cast<CallKind>(kind);
            const int status =
                k == CallKind::AIn    ? card.cbAIn(0, 0, BIP5VOLTS, v)
                : k == CallKind::DIn  ? card.cbDIn(0, AUXPORT, v)
                : k == CallKind::DOut ? card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(8 + i))
                : k == CallKind::GetConfig ? card.cbGetConfig(BOARDINFO, 0, 0, BIBOARDTYPE, c)
                                           : card.cbGetBoardName(0, buf);
            QCOMPARE(status, statuses[i]);
            const bool untouched = v == -77 && c == -77 && buf[0] == ' ' &&
                                   (k != CallKind::DOut || card.outputLines() == before);
            QCOMPARE(untouched, status != 0);
        }
    }

    // What each card fault shows of board 0, the PCI-DAS08 the head is wired to.
    void cardFaults_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("type");     // 0: the query fails
        QTest::addColumn<QString>("name"); // empty: the query fails
        QTest::addColumn<int>("inputs");   // -1: the read fails
        QTest::addColumn<int>("count");    // -1: the conversion fails
        QTest::newRow("no board installed") << "no_board" << 0 << "" << -1 << -1;
        QTest::newRow("another board model")
            << "other_model" << int(kOtherBoardType) << kOtherModelName << 7 << 4; // -4.99 V
        QTest::newRow("dead converter")
            << "dead_converter" << int(kDas08BoardType) << "PCI-DAS08" << (2 | 4) << 0;
        QTest::newRow("disconnected head")
            << "disconnected" << int(kDas08BoardType) << "PCI-DAS08" << 7 << 4;
    }
    void cardFaults() {
        QFETCH(QString, fault);
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(int, inputs);
        QFETCH(int, count);
        Scenario s = Scenario::quiet();
        s.button = true;
        s.film.present = true;
        applyChanges(s, QJsonObject{{"faults", QJsonObject{{fault, true}}}});
        SimCard card(s);
        std::int32_t value = 5;
        card.cbGetConfig(BOARDINFO, 0, 0, BIBOARDTYPE, value);
        QCOMPARE(value, type);
        char buf[kBoardNameSize] = {};
        card.cbGetBoardName(0, buf);
        QCOMPARE(QByteArray(buf), name.toLatin1());
        QCOMPARE(readInputs(card), std::int16_t(inputs));
        QCOMPARE(convert(card), count);
        QCOMPARE(card.headBoard(), type == int(kOtherBoardType) || type == 0 ? -1 : 0);
    }

    // A scenario may hold tens of thousands of events; all that fall due at once are applied
    // in order, in one pass, and said as one change (bench_scenario times it).
    void eventsFallDueOnTheClock() {
        ManualClock clock;
        clock.advance(5000); // the card counts from its own start
        Scenario s = Scenario::quiet();
        constexpr int kSeeds = 50000;
        for (int i = 0; i < kSeeds; ++i)
            s.events.push_back(Event{2000, QJsonObject{{"seed", i + 1}}});
        s.events.push_back(Event{2000, QJsonObject{{"film", QJsonObject{{"present", true}}}}});
        s.events.push_back(Event{2000, QJsonObject{{"button", true}}});
        s.events.push_back(
            Event{3500, QJsonObject{{"record", "QVR10019991.0450650"},
                                    {"faults", QJsonObject{{"dead_converter", true}}}}});
        SimCard card(s, &clock);
        QSignalSpy spy(&card, &SimCard::conditionsChanged);
        clock.advance(1999);
        QCOMPARE(readInputs(card), std::int16_t(1 | 4));
        QCOMPARE(spy.count(), 0);
        clock.advance(1);
        QCOMPARE(readInputs(card), std::int16_t(2 | 4));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(card.conditions().seed, std::uint64_t(kSeeds));
        QCOMPARE(card.conditions().events.size(), std::size_t(kSeeds + 3));
        QVERIFY(convert(card) > 0);
        QCOMPARE(card.record(), healthyRecord());
        clock.advance(1500);
        card.applyDueEvents();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(convert(card), 0);
        QCOMPARE(card.record().left(19), QByteArray("QVR10019991.0450650"));
    }

    // The window's controls are tested with it; here what they must not do.
    void liveChanges() {
        SimCard card(Scenario::quiet());
        QSignalSpy spy(&card, &SimCard::conditionsChanged);
        card.setHolder(Holder::Film); // already so
        card.setFilmOd(2, 1.0);       // no third wavelength
        QCOMPARE(spy.count(), 0);
        card.setFilmPresent(true);
        card.setHolder(Holder::Filter); // the film is out of the light path
        card.setLamp(2.5);
        QCOMPARE(card.idealCount(), count(1.9 * 2.5));
        card.setLamp(99); // held to the range a scenario allows
        QCOMPARE(card.conditions().lamp, 5.0);
    }
};

} // namespace qvr::test

QTEST_GUILESS_MAIN(qvr::test::TestSimCard)
#include "test_sim_card.moc"
