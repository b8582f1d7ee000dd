// The windowed run: start-up dialogs before the main window, the simulator's window beside
// it, and the one shut-down on closing or on a signal.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include "core/Settings.h"
#include "reader/Reader.h"
#include "ui/WindowedRun.h"
#include "ui/dlgPort.h"
#include "ui/frmQVR100.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <csignal>

using namespace qvr;
using namespace qvr::test;

namespace {

struct Rig {
    Rig() : reader(clock, driver, settings, messages) {
        driver.logAnalog = false;
        driver.count = 3276;
        driver.boards = {{0, {41, QStringLiteral("PCI-DAS08")}}};
    }
    ManualClock clock;
    FakeDriver driver;
    MemorySettings settings;
    RecordingMessageSink messages;
    Reader reader;
};

frmQVR100* mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<frmQVR100*>(w))
            return m;
    return nullptr;
}

bool anyWindowShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            return true;
    return false;
}

} // namespace

class TestWindowedRun : public QObject {
    Q_OBJECT
private slots:
    void boardDialogComesBeforeTheWindow() {
        Rig rig; // no board stored
        bool dialogFirst = false;
        QTimer::singleShot(0, this, [&] {
            auto* port = qobject_cast<dlgPort*>(QApplication::activeModalWidget());
            dialogFirst = port && !(mainWindow() && mainWindow()->isVisible());
            if (port)
                port->OKButton_Click();
            QTimer::singleShot(0, this, [] { // then the main window, closed by the user
                if (frmQVR100* m = mainWindow())
                    m->close();
            });
        });
        QCOMPARE(runWindowed(*qApp, rig.reader, false, nullptr), 0);
        QVERIFY(dialogFirst);
        QVERIFY(rig.reader.hasEnded());
        QVERIFY(!anyWindowShown());
    }

    void signalShutsDown_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("boardStored"); // if not, the board dialog is open at the signal
        QTest::newRow("SIGTERM") << SIGTERM << true;
        // Last: after it, a later run in this same process opens no start-up dialog.
        QTest::newRow("SIGTERM in the start-up dialog") << SIGTERM << false;
    }
    void signalShutsDown() {
        QFETCH(int, signalNumber);
        QFETCH(bool, boardStored);
        Rig rig;
        if (boardStored)
            rig.settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            shown = mainWindow() && mainWindow()->isVisible();
            std::raise(signalNumber);
        });
        QCOMPARE(runWindowed(*qApp, rig.reader, false, nullptr), 0);
        QCOMPARE(shown, boardStored);
        QVERIFY(rig.reader.hasEnded());
        QCOMPARE(rig.settings.contains(QStringLiteral("PCIPort")), boardStored);
        QVERIFY(!anyWindowShown());
    }

    void simulatorWindowBesideAndClosedWithIt() {
        Rig rig;
        rig.settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
        QWidget simulator;
        simulator.resize(200, 150);
        QRect mainFrame, simFrame;
        bool marked = false;
        QTimer::singleShot(0, this, [&] {
            if (frmQVR100* m = mainWindow()) {
                // The simulator's window follows the main window onto the screen.
                if (QTest::qWaitForWindowExposed(m) && simulator.isVisible())
                    simFrame = simulator.frameGeometry();
                mainFrame = m->frameGeometry();
                marked = m->findChild<QWidget*>(QStringLiteral("lblSimulated")) != nullptr;
                m->close();
            }
        });
        QCOMPARE(runWindowed(*qApp, rig.reader, true, &simulator), 0);
        QVERIFY(marked);
        QVERIFY(simFrame.isValid() && !simFrame.intersects(mainFrame));
        QCOMPARE(simFrame.top(), mainFrame.top());
        QVERIFY(!simulator.isVisible());
    }

    // A simulator's window larger than the screen is made to fit on it. (Beside the main
    // window, and back from the menu, on a desktop with a window manager: tests/desktop.)
    void simulatorWindowLargerThanTheScreen() {
        Rig rig;
        rig.settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
        frmQVR100 window(rig.reader, true);
        rig.reader.Form_Load(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget simulator;
        simulator.resize(4000, 3000);
        simulator.setMinimumSize(100, 100);
        window.setSimulatorWindow(&simulator);
        window.showSimulator();
        QVERIFY(simulator.isVisible());
        QVERIFY(window.screen()->availableGeometry().contains(simulator.frameGeometry()));
        rig.reader.Form_Unload();
    }
};

QTEST_MAIN(TestWindowedRun)
#include "test_windowedrun.moc"
