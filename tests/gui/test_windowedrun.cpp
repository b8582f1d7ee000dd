// The windowed run: start-up dialogs before the main window, the simulator's window beside
// it, and the one shut-down on closing or on a signal.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include "app/Reader.h"
#include "app/Settings.h"
#include "app/WindowedRun.h"
#include "app/frmQVR100.h"
#include "dialogs/dlgPort.h"

#include <QApplication>
#include <QPointer>
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
    void signalShutsDown_data();
    void signalShutsDown();
    void boardDialogComesBeforeTheWindow();
    void signalDuringStartUpDialog();
    void simulatorWindowBesideAndClosedWithIt();
};

void TestWindowedRun::signalShutsDown_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestWindowedRun::signalShutsDown() {
    QFETCH(int, signalNumber);
    Rig rig;
    rig.settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
    bool shownFirst = false;
    QTimer::singleShot(0, this, [&] {
        shownFirst = mainWindow() && mainWindow()->isVisible();
        std::raise(signalNumber);
    });
    const int status = runWindowed(*qApp, rig.reader, false, nullptr);
    QCOMPARE(status, 0);
    QVERIFY(shownFirst);
    QVERIFY(rig.reader.hasEnded());
    QCOMPARE(rig.driver.doutValues().last(), 0);
    QVERIFY(rig.settings.contains(QStringLiteral("ScreenLeft")));
    QVERIFY(!anyWindowShown());
}

void TestWindowedRun::boardDialogComesBeforeTheWindow() {
    Rig rig; // no board stored
    bool dialogFirst = false;
    QTimer::singleShot(0, this, [&] {
        auto* port = qobject_cast<dlgPort*>(QApplication::activeModalWidget());
        dialogFirst = port && !(mainWindow() && mainWindow()->isVisible());
        if (port)
            port->OKButton_Click();
        // Then the main window, closed by the user.
        QTimer::singleShot(0, this, [] {
            if (frmQVR100* m = mainWindow())
                m->close();
        });
    });
    const int status = runWindowed(*qApp, rig.reader, false, nullptr);
    QCOMPARE(status, 0);
    QVERIFY(dialogFirst);
    QCOMPARE(rig.settings.read(QStringLiteral("PCIPort"), QString()), QStringLiteral("0"));
    QVERIFY(rig.reader.hasEnded());
    QVERIFY(!anyWindowShown());
}

void TestWindowedRun::signalDuringStartUpDialog() {
    Rig rig; // no board stored: the dialog opens during start-up
    QTimer::singleShot(0, this, [] { std::raise(SIGTERM); });
    const int status = runWindowed(*qApp, rig.reader, false, nullptr);
    QCOMPARE(status, 0);
    QVERIFY(rig.reader.hasEnded());
    QVERIFY(!rig.settings.contains(QStringLiteral("PCIPort")));
    QCOMPARE(rig.driver.doutValues(), QList<int>{0});
    QVERIFY(!anyWindowShown());
}

void TestWindowedRun::simulatorWindowBesideAndClosedWithIt() {
    Rig rig;
    rig.settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
    QWidget simulator;
    simulator.setObjectName(QStringLiteral("simulator"));
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
    QVERIFY(simFrame.isValid());
    QVERIFY(!simFrame.intersects(mainFrame));
    QCOMPARE(simFrame.top(), mainFrame.top());
    QVERIFY(!simulator.isVisible());
}

QTEST_MAIN(TestWindowedRun)
#include "test_windowedrun.moc"
