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
                mainFrame = m->frameGeometry();
                marked = m->findChild<QWidget*>(QStringLiteral("lblSimulated")) != nullptr;
                simFrame = simulator.isVisible() ? simulator.frameGeometry() : QRect();
                m->close();
            }
        });
        QCOMPARE(runWindowed(*qApp, rig.reader, true, &simulator), 0);
        QVERIFY(marked);
        QVERIFY(simFrame.isValid() && !simFrame.intersects(mainFrame));
        QCOMPARE(simFrame.top(), mainFrame.top());
        QVERIFY(!simulator.isVisible());
    }

    // The simulator's window lands wholly on the screen, beside the main window where there is
    // room, and View > Reader head simulator brings it back once closed.
    void simulatorWindowOnScreen_data() {
        QTest::addColumn<QPoint>("mainAt"); // from the screen's right edge when x < 0
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("besideTheMain");
        QTest::newRow("main at the right edge") << QPoint(-20, 20) << QSize(300, 200) << true;
        QTest::newRow("larger than the screen") << QPoint(20, 20) << QSize(4000, 3000) << false;
    }
    void simulatorWindowOnScreen() {
        QFETCH(QPoint, mainAt);
        QFETCH(QSize, size);
        QFETCH(bool, besideTheMain);
        Rig rig;
        rig.settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
        frmQVR100 window(rig.reader, true);
        rig.reader.Form_Load(window);
        const QRect room = window.screen()->availableGeometry();
        if (mainAt.x() < 0)
            mainAt.setX(room.right() + 1 + mainAt.x() - window.frameGeometry().width());
        window.move(mainAt);
        window.show();
        QWidget simulator;
        simulator.resize(size);
        simulator.setMinimumSize(100, 100);
        window.setSimulatorWindow(&simulator);
        for (int showing = 0; showing < 2; ++showing) {
            if (showing == 0)
                window.showSimulator();
            else
                window.findChild<QAction*>(QStringLiteral("mnuSimulator"))->trigger();
            QVERIFY(simulator.isVisible());
            QVERIFY2(room.contains(simulator.frameGeometry()),
                     qPrintable(QStringLiteral("%1,%2 %3x%4")
                                    .arg(simulator.x())
                                    .arg(simulator.y())
                                    .arg(simulator.width())
                                    .arg(simulator.height())));
            if (besideTheMain)
                QVERIFY(!simulator.frameGeometry().intersects(window.frameGeometry()));
            simulator.close();
        }
        rig.reader.Form_Unload();
    }
};

QTEST_MAIN(TestWindowedRun)
#include "test_windowedrun.moc"
