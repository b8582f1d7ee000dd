// Start-up and shut-down: stored settings, window position, board choice, what is stored.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include "core/Clock.h"
#include "core/Settings.h"
#include "daq/DeviceLock.h"
#include "reader/HeadlessHost.h"
#include "reader/Reader.h"
#include "reader/ReaderHost.h"

#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

class WindowHost : public ReaderHost, public WindowPlacement {
public:
    WindowPlacement* placement() override { return withWindow ? this : nullptr; }
    void showBoardDialog() override {
        ++boardDialogs;
        if (onBoardDialog)
            onBoardDialog();
    }
    void endProcess() override { ++ends; }
    QRectF frameTwips() const override { return frame; }
    void moveTo(float left, float top) override { frame.moveTo(left, top); }
    QSizeF screenTwips() const override { return screen; }

    bool offersBoardChoice() const override { return withWindow; }

    bool withWindow = true;
    QRectF frame{0, 0, 2500, 1200};
    QSizeF screen{15360, 11520};
    int boardDialogs = 0;
    int ends = 0;
    std::function<void()> onBoardDialog;
};

struct Rig {
    Rig() : reader(clock, driver, settings, messages) { driver.logAnalog = false; }
    ManualClock clock;
    FakeDriver driver;
    MemorySettings settings;
    RecordingMessageSink messages;
    WindowHost host;
    Reader reader;
};

} // namespace

class TestReaderStartup : public QObject {
    Q_OBJECT
private slots:
    void storedBoard_data();
    void storedBoard();
    void positionRestored_data();
    void positionRestored();
    void firstRunAsksForABoardBeforeTheHeadIsRead();
    void shutdownOrderAndWhatIsStored_data();
    void shutdownOrderAndWhatIsStored();
    void headlessChoosesThePreselectedBoard();
    void headlessWithoutPreselectionRefusesAndListsBoards();
    void cardOfAnotherInstanceIsLeftAlone_data();
    void cardOfAnotherInstanceIsLeftAlone();
    void deviceLockHoldsOneCardForOneProgram();
};

void TestReaderStartup::storedBoard_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("board");
    QTest::newRow("absent") << QString() << int(kNoBoard);
    QTest::newRow("blanks") << " 1 " << 1;
    QTest::newRow("-1 of earlier versions asks again") << "-1" << int(kNoBoard);
    QTest::newRow("not a number") << "COM1" << int(kNoBoard);
    QTest::newRow("fraction") << "1.5" << int(kNoBoard);
    QTest::newRow("beyond 16 bits") << "70000" << int(kNoBoard);
}

void TestReaderStartup::storedBoard() {
    QFETCH(QString, stored);
    QFETCH(int, board);
    Rig rig;
    if (!stored.isNull())
        rig.settings.values_.insert(QStringLiteral("PCIPort"), stored);
    QCOMPARE(int(rig.reader.storedBoard()), board);
    rig.reader.Form_Load(rig.host);
    QCOMPARE(rig.host.boardDialogs, board == kNoBoard ? 1 : 0);
    // A cancelled dialog stores nothing and start-up goes on, on usable values.
    QCOMPARE(rig.settings.values_.value(QStringLiteral("PCIPort")), stored);
    QCOMPARE(int(rig.reader.state().BoardNum), board);
    QVERIFY(rig.reader.tmrDelayZero().isEnabled());
    QVERIFY(rig.reader.state().rdrGain > 0);
}

void TestReaderStartup::positionRestored_data() {
    QTest::addColumn<QStringList>("stored"); // left and top; empty: none stored
    QTest::addColumn<QPointF>("expected");
    using L = QStringList;
    QTest::newRow("first run") << L{} << QPointF(100, 100);
    QTest::newRow("beyond the right edge") << L{"20000", "100"} << QPointF(12860, 100);
    QTest::newRow("negative stays") << L{"-500", "-20"} << QPointF(-500, -20);
    QTest::newRow("right edge on the screen edge") << L{"12860", "10320"} << QPointF(12860, 10320);
    QTest::newRow("fraction") << L{"1500.5", "99.25"} << QPointF(1500.5, 99.25);
    QTest::newRow("damaged falls back") << L{"left", "1e999"} << QPointF(100, 100);
}

void TestReaderStartup::positionRestored() {
    QFETCH(QStringList, stored);
    QFETCH(QPointF, expected);
    Rig rig;
    rig.settings.values_.insert(QStringLiteral("PCIPort"), QStringLiteral("0"));
    if (!stored.isEmpty()) {
        rig.settings.values_.insert(QStringLiteral("ScreenLeft"), stored[0]);
        rig.settings.values_.insert(QStringLiteral("ScreenTop"), stored[1]);
    }
    rig.reader.Form_Load(rig.host);
    QCOMPARE(rig.host.frame.topLeft(), expected);
}

void TestReaderStartup::firstRunAsksForABoardBeforeTheHeadIsRead() {
    Rig rig;
    rig.driver.boards[0] = {1, QStringLiteral("PCI-DAS08")};
    rig.host.onBoardDialog = [&] {
        QVERIFY(rig.driver.doutValues().isEmpty());
        QVERIFY(!rig.reader.tmrDelayZero().isEnabled());
        BoardSelection& boards = rig.reader.boardSelection();
        boards.load(rig.reader.driver());
        QVERIFY(boards.accept(rig.reader.state(), rig.settings));
    };
    rig.reader.Form_Load(rig.host);
    QCOMPARE(rig.host.boardDialogs, 1);
    QCOMPARE(rig.settings.values_.value(QStringLiteral("PCIPort")), QStringLiteral("0"));
    QCOMPARE(int(rig.reader.state().BoardNum), 0);
    for (const auto& call : rig.driver.calls)
        if (call.kind == QLatin1String("cbDOut"))
            QCOMPARE(call.board, 0);
    QVERIFY(rig.reader.wavelengthMenu().primaryChecked);
}

void TestReaderStartup::shutdownOrderAndWhatIsStored_data() {
    QTest::addColumn<bool>("identified");
    QTest::newRow("head identified from its record") << true;
    QTest::newRow("default record or recovery") << false;
}

void TestReaderStartup::shutdownOrderAndWhatIsStored() {
    QFETCH(bool, identified);
    Rig rig;
    rig.settings.values_.insert(QStringLiteral("PCIPort"), QStringLiteral("0"));
    rig.reader.Form_Load(rig.host);
    rig.reader.chkLED_Click(true);
    rig.reader.chkBuzzer_Click(true);
    rig.host.frame.moveTo(1500, 2000);
    ReaderState& st = rig.reader.state();
    st.rdrSN = QStringLiteral("1000");
    st.rdrGain = 1.9;
    st.headIdentified = identified;
    rig.settings.values_.remove(QStringLiteral("Display"));
    rig.driver.clearLog();

    QSignalSpy ended(&rig.reader, &Reader::ended);
    rig.reader.mnuExit_Click();
    QCOMPARE(rig.driver.doutValues(), QList<int>{0});
    QCOMPARE(rig.reader.state().Control, std::uint8_t(8 | 4 | 1)); // the image is kept
    QCOMPARE(rig.settings.values_.value(QStringLiteral("ScreenLeft")), QStringLiteral("1500"));
    QCOMPARE(rig.settings.values_.value(QStringLiteral("ScreenTop")), QStringLiteral("2000"));
    QCOMPARE(rig.settings.contains(QStringLiteral("GainSN1000")), identified);
    if (identified)
        QCOMPARE(rig.settings.values_.value(QStringLiteral("GainSN1000")), QStringLiteral("1.9"));
    QVERIFY(!rig.settings.contains(QStringLiteral("Display")));
    QCOMPARE(rig.host.ends, 1);
    QCOMPARE(ended.count(), 1);
    // Runs once: a second close reaches neither the card nor the host.
    rig.driver.clearLog();
    rig.reader.Form_Unload();
    QVERIFY(rig.driver.calls.isEmpty());
    QCOMPARE(rig.host.ends, 1);
}

void TestReaderStartup::headlessChoosesThePreselectedBoard() {
    Rig rig;
    rig.driver.boards = {{1, {1, QStringLiteral("PCI-DAS08")}}};
    int ends = 0;
    HeadlessHost host(rig.reader, [&] { ++ends; });
    QVERIFY(host.chooseBoard());
    QCOMPARE(rig.settings.values_.value(QStringLiteral("PCIPort")), QStringLiteral("1"));
    rig.reader.Form_Load(host);
    QCOMPARE(int(rig.reader.state().BoardNum), 1);
    rig.reader.Form_Unload();
    QCOMPARE(ends, 1);
    QVERIFY(!rig.settings.contains(QStringLiteral("ScreenLeft")));
}

void TestReaderStartup::headlessWithoutPreselectionRefusesAndListsBoards() {
    Rig rig;
    rig.driver.boards = {{0, {1, QStringLiteral("PCI-DIO24")}}};
    HeadlessHost host(rig.reader, [] {});
    QVERIFY(!host.chooseBoard());
    QVERIFY2(host.error().contains(QStringLiteral("board 0 \"PCI-DIO24\"")),
             qPrintable(host.error()));
    QVERIFY(!rig.settings.contains(QStringLiteral("PCIPort")));
    QVERIFY(rig.driver.doutValues().isEmpty());
}

void TestReaderStartup::cardOfAnotherInstanceIsLeftAlone_data() {
    QTest::addColumn<bool>("windowed");
    QTest::newRow("windowed: said, the board dialog offered") << true;
    QTest::newRow("without a window: said, ended") << false;
}

// The card another copy of the program drives gets not one call from this one, and nothing
// this run saw is stored over what that one stores.
void TestReaderStartup::cardOfAnotherInstanceIsLeftAlone() {
    QFETCH(bool, windowed);
    Rig rig;
    rig.host.withWindow = windowed;
    rig.settings.values_.insert(QStringLiteral("PCIPort"), QStringLiteral("0"));
    QList<int> claimed;
    rig.reader.setBoardClaim([&](std::int16_t board) {
        claimed << board;
        return board == 0 ? QStringLiteral("/dev/comedi0 is in use") : QString();
    });
    rig.reader.Form_Load(rig.host); // the board dialog is cancelled
    QCOMPARE(claimed, QList<int>{0});
    QVERIFY(rig.messages.messages.first().startsWith(QStringLiteral("/dev/comedi0 is in use")));
    QCOMPARE(rig.host.boardDialogs, windowed ? 1 : 0);
    QCOMPARE(rig.reader.hasEnded(), !windowed);
    QCOMPARE(rig.reader.boardRefused(), !windowed);
    QCOMPARE(rig.host.ends, windowed ? 0 : 1);
    rig.clock.advance(5000);
    rig.reader.Form_Unload();
    for (const auto& call : rig.driver.calls)
        QVERIFY2(call.board != 0, qPrintable(call.kind));
    QCOMPARE(rig.settings.values_.value(QStringLiteral("PCIPort")), QStringLiteral("0"));
    QVERIFY(!rig.settings.contains(QStringLiteral("GainSN1000")));
}

void TestReaderStartup::deviceLockHoldsOneCardForOneProgram() {
    QTemporaryDir dir;
    const QString node = dir.path() + QStringLiteral("/comedi0");
    QFile f(node);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    auto first = std::make_unique<DeviceLock>();
    DeviceLock second;
    QCOMPARE(first->take(node), QString());
    QCOMPARE(second.take(node), node + QStringLiteral(" is in use by another QVR100PCI"));
    // No node, no card: nothing to keep anyone off; the driver's calls say the rest.
    QCOMPARE(second.take(dir.path() + QStringLiteral("/comedi1")), QString());
    first.reset();
    QCOMPARE(second.take(node), QString());
}

QTEST_GUILESS_MAIN(TestReaderStartup)
#include "test_reader_startup.moc"
