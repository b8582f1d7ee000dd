// The reading cycle and the commands, driven by the manual clock.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include "core/Clock.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "reader/Reader.h"
#include "reader/ReaderHost.h"

#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

class RecordingHost : public ReaderHost {
public:
    void showBoardDialog() override {
        ++boardDialogs;
        if (duringBoardDialog)
            duringBoardDialog();
    }
    void showFilterCheck() override {
        ++filterChecks;
        if (duringFilterCheck)
            duringFilterCheck();
    }
    void endProcess() override { ++ends; }
    int boardDialogs = 0;
    int filterChecks = 0;
    int ends = 0;
    std::function<void()> duringFilterCheck;
    std::function<void()> duringBoardDialog;
};

// 2048 + 409.5 * v counts: a clear light path of about 1.9 V before the gain.
constexpr std::int16_t kClearPath = 2826;

struct Rig {
    Rig() : reader(clock, driver, settings, messages) {
        settings.values_.insert(QStringLiteral("PCIPort"), QStringLiteral("0"));
        driver.count = kClearPath;
        driver.logAnalog = false;
    }
    // Starts the reader and runs it for runMs, logging only what the run does.
    void load(qint64 runMs = 0) {
        reader.Form_Load(host);
        driver.clearLog();
        driver.logAnalog = true;
        clock.advance(runMs);
    }
    // Port writes and conversions since the last look, then forget them.
    QList<int> takeWrites() {
        const QList<int> w = driver.doutValues();
        driver.clearLog();
        return w;
    }
    int takeConversions() {
        const int n = driver.countOf(QStringLiteral("cbAIn"));
        driver.clearLog();
        return n;
    }
    ManualClock clock;
    FakeDriver driver;
    MemorySettings settings;
    RecordingMessageSink messages;
    RecordingHost host;
    Reader reader;
};

} // namespace

class TestReaderCycle : public QObject {
    Q_OBJECT
private slots:
    void tickSequenceAfterStartup_data();
    void tickSequenceAfterStartup();
    void readingsNeverOverlap();
    void zeroCommand();
    void wavelengthCommands();
    void filterCheckStopsReadingAndRezeroes_data();
    void filterCheckStopsReadingAndRezeroes();
    void portWithAnotherBoardReadsItsHeadAndZeroes_data();
    void portWithAnotherBoardReadsItsHeadAndZeroes();
    void shutdownWithBoxOpenDuringZeroLeavesLinesAtZero();
};

void TestReaderCycle::tickSequenceAfterStartup_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("commandWrite");
    QTest::addColumn<int>("zeroAt");
    QTest::addColumn<int>("buzzerReleaseAt");
    QTest::addColumn<QList<int>>("otherWavelength"); // the line there and back, no beep

    QTest::newRow("Primary") << "Primary" << 8 << 500 << -1 << QList<int>{10, 8};
    QTest::newRow("Secondary") << "Secondary" << 11 << 1000 << 500 << QList<int>{8, 10};
    QTest::newRow("damaged") << "Prim\u00e4r" << 11 << 1000 << 500 << QList<int>{8, 10};
}

void TestReaderCycle::tickSequenceAfterStartup() {
    QFETCH(QString, display);
    QFETCH(int, commandWrite);
    QFETCH(int, zeroAt);
    QFETCH(int, buzzerReleaseAt);
    QFETCH(QList<int>, otherWavelength);

    Rig rig;
    rig.settings.values_.insert(QStringLiteral("Display"), display);
    rig.reader.Form_Load(rig.host);
    QVERIFY(rig.reader.tmrDelayZero().isEnabled());
    QVERIFY(!rig.reader.tmrRead().isEnabled());
    QVERIFY(rig.takeWrites().endsWith(commandWrite));
    rig.driver.logAnalog = true;

    for (int t = 100; t <= zeroAt + 600; t += 100) {
        rig.clock.advance(100);
        const int conversions = rig.driver.countOf(QStringLiteral("cbAIn"));
        const QList<int> w = rig.takeWrites();
        if (t == buzzerReleaseAt)
            QCOMPARE(w, QList<int>{10});
        else if (t == zeroAt)
            QCOMPARE(w, otherWavelength);
        else
            QVERIFY2(w.isEmpty(), qPrintable(QStringLiteral("write at %1 ms").arg(t)));
        // Both wavelengths are zeroed at start-up, one after the other.
        if (t == zeroAt)
            QCOMPARE(conversions, 2 * kSamplesPerReading);
        else if (t == zeroAt + 600)
            QCOMPARE(conversions, kSamplesPerReading);
        else
            QCOMPARE(conversions, 0);
        if (t < zeroAt + 600)
            QCOMPARE(rig.reader.labels().text(Label::A), QStringLiteral("Zeroing"));
    }
    // The first absorbance: zero and reading of the same light give 0.
    QCOMPARE(rig.reader.labels().text(Label::A), QStringLiteral(" 0.000"));
    QVERIFY(!rig.reader.tmrDelayZero().isEnabled());
    QVERIFY(rig.reader.tmrRead().isEnabled());
}

void TestReaderCycle::readingsNeverOverlap() {
    Rig rig;
    rig.load();
    int conversionsWhileArmed = 0;
    rig.driver.countSource = [&] {
        if (rig.reader.tmrRead().isEnabled() || rig.reader.tmrDelayZero().isEnabled())
            ++conversionsWhileArmed;
        return kClearPath;
    };
    rig.clock.advance(500 + 5 * 600);
    QCOMPARE(conversionsWhileArmed, 0);
    QCOMPARE(rig.takeConversions(), 7 * kSamplesPerReading); // two zeros, five readings
}

// Zero releases a sounding buzzer first; "Zeroing" is shown only before the first reading.
void TestReaderCycle::zeroCommand() {
    Rig rig;
    rig.load(1100);
    const QString first = rig.reader.labels().text(Label::A);
    QVERIFY(first != QLatin1String("Zeroing"));
    // Brighter (a darker zero would be refused as something in the light path).
    rig.driver.count = kClearPath + 409;
    rig.takeWrites();
    rig.reader.chkBuzzer_Click(true);
    QCOMPARE(rig.takeWrites(), QList<int>{9});
    rig.reader.mnuZero_Click();
    QVERIFY(!rig.reader.tmrRead().isEnabled());
    rig.clock.advance(500);
    QCOMPARE(rig.driver.countOf(QStringLiteral("cbAIn")), 0);
    QCOMPARE(rig.takeWrites(), QList<int>{8});
    rig.clock.advance(500);
    // The other wavelength is zeroed too, on the same tick.
    QCOMPARE(rig.driver.countOf(QStringLiteral("cbAIn")), 2 * kSamplesPerReading);
    QCOMPARE(rig.takeWrites(), (QList<int>{10, 8}));
    QCOMPARE(rig.reader.labels().text(Label::A), first);
    rig.clock.advance(600);
    QCOMPARE(rig.reader.labels().text(Label::A), QStringLiteral(" 0.000"));
}

// Each command switches the lines, the menu, WL and the stored choice, and takes a new zero.
void TestReaderCycle::wavelengthCommands() {
    Rig rig;
    rig.load();
    QSignalSpy menuChanges(&rig.reader, &Reader::wavelengthMenuChanged);
    rig.reader.chkLED_Click(true);
    QCOMPARE(rig.takeWrites(), QList<int>{12});
    rig.reader.mnuSecondary_Click();
    QCOMPARE(rig.takeWrites(), QList<int>{8 | 4 | 3}); // the LED stays on
    QCOMPARE(rig.reader.labels().text(Label::WL), rig.reader.labels().text(Label::lblA2));
    QVERIFY(rig.reader.wavelengthMenu().secondaryChecked);
    QVERIFY(!rig.reader.wavelengthMenu().primaryChecked);
    QCOMPARE(rig.settings.read(QStringLiteral("Display"), {}), QStringLiteral("Secondary"));
    // Secondary raised the buzzer line; the next tick drops it, the LED stays.
    rig.clock.advance(500);
    QCOMPARE(rig.takeWrites(), QList<int>{8 | 4 | 2});
    rig.reader.mnuPrimary_Click();
    QCOMPARE(rig.takeWrites(), QList<int>{8 | 4});
    QCOMPARE(rig.reader.labels().text(Label::WL), rig.reader.labels().text(Label::lblA1));
    QVERIFY(rig.reader.wavelengthMenu().primaryChecked);
    QVERIFY(!rig.reader.wavelengthMenu().secondaryChecked);
    QCOMPARE(rig.settings.read(QStringLiteral("Display"), {}), QStringLiteral("Primary"));
    QCOMPARE(menuChanges.count(), 2);
    // Choosing the checked item again takes a new zero all the same.
    rig.clock.advance(1100);
    rig.takeConversions();
    rig.reader.mnuPrimary_Click();
    QVERIFY(!rig.reader.tmrRead().isEnabled());
    rig.clock.advance(500);
    QCOMPARE(rig.takeConversions(), kSamplesPerReading);
}

void TestReaderCycle::filterCheckStopsReadingAndRezeroes_data() {
    QTest::addColumn<bool>("zeroPending");
    QTest::newRow("reading") << false;
    QTest::newRow("Zero just chosen") << true;
}

void TestReaderCycle::filterCheckStopsReadingAndRezeroes() {
    QFETCH(bool, zeroPending);
    Rig rig;
    rig.load(1100);
    QCOMPARE(rig.reader.labels().text(Label::State), QStringLiteral("reading"));
    if (zeroPending)
        rig.reader.mnuZero_Click();
    rig.takeWrites();
    QStringList order;
    rig.messages.whileShown = [&](const QString& t) { order << t; };
    rig.host.duringFilterCheck = [&] {
        order << QStringLiteral("dialog");
        QVERIFY(!rig.reader.tmrRead().isEnabled());
        QVERIFY(!rig.reader.tmrDelayZero().isEnabled());
        QCOMPARE(rig.reader.labels().text(Label::State), QStringLiteral("filter check"));
        // Ticks keep coming while the dialog is open; none may read.
        rig.clock.advance(3000);
    };
    rig.reader.mnuNDF_Click();
    QCOMPARE(order, (QStringList{text(309), QStringLiteral("dialog"), text(310)}));
    QCOMPARE(rig.takeConversions(), 0);
    QVERIFY(rig.takeWrites().isEmpty());
    QVERIFY(rig.reader.tmrDelayZero().isEnabled());
    QVERIFY(!rig.reader.tmrRead().isEnabled());
    QCOMPARE(rig.reader.labels().text(Label::State), QStringLiteral("zeroing"));
}

void TestReaderCycle::portWithAnotherBoardReadsItsHeadAndZeroes_data() {
    QTest::addColumn<int>("choice"); // position in the list; -2 cancels
    QTest::addColumn<bool>("reread");
    QTest::newRow("another board") << 1 << true;
    QTest::newRow("the same board") << 0 << false;
    QTest::newRow("cancelled") << -2 << false;
}

void TestReaderCycle::portWithAnotherBoardReadsItsHeadAndZeroes() {
    QFETCH(int, choice);
    QFETCH(bool, reread);
    Rig rig;
    rig.driver.boards = {{0, {1, QStringLiteral("PCI-DAS08")}},
                         {1, {1, QStringLiteral("PCI-DAS08")}}};
    rig.load(1100);
    rig.host.duringBoardDialog = [&] {
        BoardSelection& boards = rig.reader.boardSelection();
        boards.load(rig.reader.driver());
        if (choice < -1) {
            boards.cancel();
            return;
        }
        boards.select(choice);
        boards.accept(rig.reader.state(), rig.settings);
    };
    rig.driver.clearLog();
    rig.reader.mnuPort_Click();
    const auto onBoard1 = [&](const QString& kind) {
        int n = 0;
        for (const FakeDriver::Call& c : rig.driver.calls)
            n += c.kind == kind && c.board == 1;
        return n;
    };
    // The head record is read bit by bit over the new board's port; then a fresh zero.
    QCOMPARE(onBoard1(QStringLiteral("cbDOut")) > 64, reread);
    QCOMPARE(rig.reader.tmrDelayZero().isEnabled(), reread);
    QCOMPARE(rig.reader.tmrRead().isEnabled(), !reread);
    rig.driver.clearLog();
    rig.driver.count = kClearPath - 409; // another head, another light level
    rig.clock.advance(500);
    QCOMPARE(onBoard1(QStringLiteral("cbAIn")), reread ? kSamplesPerReading : 0);
    rig.clock.advance(600);
    // Against its own zero the new head reads 0, not the difference to the old board's.
    QCOMPARE(rig.reader.labels().text(Label::A) == QLatin1String(" 0.000"), reread);
}

void TestReaderCycle::shutdownWithBoxOpenDuringZeroLeavesLinesAtZero() {
    Rig rig;
    rig.driver.count = 2048; // 0 V: the zero cautions about the light path
    rig.load();
    rig.reader.chkLED_Click(true);
    rig.messages.whileShown = [&](const QString&) { rig.reader.Form_Unload(); };
    rig.clock.advance(500);
    QCOMPARE(rig.messages.messages, QStringList{text(1011)});
    QCOMPARE(rig.host.ends, 1);
    QCOMPARE(rig.driver.doutValues().last(), 0);
    QVERIFY(!rig.reader.tmrRead().isEnabled());
    QVERIFY(!rig.reader.tmrDelayZero().isEnabled());
    rig.driver.clearLog();
    // Nothing after shut-down reaches the card, whatever still unwinds or ticks.
    rig.clock.advance(5000);
    rig.reader.chkLED_Click(true);
    rig.reader.mnuSecondary_Click();
    QVERIFY(rig.driver.calls.isEmpty());
}

QTEST_GUILESS_MAIN(TestReaderCycle)
#include "test_reader_cycle.moc"
