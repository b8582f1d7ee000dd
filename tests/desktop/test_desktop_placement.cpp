// The simulator's window on a desktop with a window manager (on_desktop.sh starts both), where
// a window's frame and title bar come from the window manager, and only once it has framed the
// shown window.

#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include "core/Messages.h"
#include "core/Settings.h"
#include "daq/sim/SimCard.h"
#include "reader/Reader.h"
#include "ui/SimControlWindow.h"
#include "ui/frmQVR100.h"

#include <QMessageBox>
#include <QScreen>
#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

// Why the simulator's window is not where it belongs, or nothing.
QString misplaced(const QWidget& main, const QWidget& simulator) {
    const QRect frame = simulator.frameGeometry();
    const QRect room = simulator.screen()->availableGeometry();
    QString where;
    QDebug(&where) << "simulator" << frame << "main" << main.frameGeometry() << "screen" << room;
    if (frame == simulator.geometry() || !frame.contains(simulator.geometry()))
        return QStringLiteral("no frame from the window manager: ") + where;
    if (!room.contains(frame))
        return QStringLiteral("not wholly on the screen: ") + where;
    if (frame.intersects(main.frameGeometry()))
        return QStringLiteral("over the main window: ") + where;
    return {};
}

// The window manager maps a window before it carries out the program's move and resize, and
// the program hears of each in turn: the placing is judged once it has settled.
QString settledPlace(const QWidget& main, const QWidget& simulator) {
    const bool settled = QTest::qWaitFor([&] { return misplaced(main, simulator).isEmpty(); });
    return settled ? QString() : misplaced(main, simulator);
}

} // namespace

class TestDesktopPlacement : public QObject {
    Q_OBJECT
private slots:
    // On start-up, and again from View > Reader head simulator once closed; the reader's
    // messages keep off it.
    void simulatorBesideTheMainWindow_data() {
        QTest::addColumn<QString>("left"); // stored place of the main window, in twips
        QTest::addColumn<QString>("top");
        QTest::newRow("default place") << QStringLiteral("100") << QStringLiteral("100");
        QTest::newRow("main at the right edge") << QStringLiteral("1000000") << QStringLiteral("0");
        QTest::newRow("main at the bottom") << QStringLiteral("0") << QStringLiteral("1000000");
    }
    void simulatorBesideTheMainWindow() {
        QFETCH(QString, left);
        QFETCH(QString, top);
        ManualClock clock;
        sim::SimCard card(sim::Scenario::quiet());
        MemorySettings settings;
        settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
        settings.values_[QStringLiteral("ScreenLeft")] = left;
        settings.values_[QStringLiteral("ScreenTop")] = top;
        RecordingMessageSink messages;
        Reader reader(clock, card, settings, messages);
        frmQVR100 window(reader, true);
        reader.Form_Load(window);
        sim::SimControlWindow simulator(card);
        // As the windowed run starts: the simulator's window asked for before the main window
        // is on the screen.
        window.show();
        window.setSimulatorWindow(&simulator);
        window.showSimulator();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString onStart = settledPlace(window, simulator);
        QVERIFY2(onStart.isEmpty(), qPrintable(onStart));
        // The main window too, by its frame, which the window manager adds once it shows it.
        QTRY_VERIFY2(window.screen()->geometry().contains(window.frameGeometry()),
                     qPrintable(QDebug::toString(window.frameGeometry())));
        // The reader's messages open where they leave the simulator's controls free.
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("QVR100PCI"), text(309),
                        QMessageBox::Ok, &window);
        QString covers = QStringLiteral("not shown");
        QTimer::singleShot(0, &box, [&] {
            const auto clear = [&] {
                return box.frameGeometry() != box.geometry() && // framed
                       !box.frameGeometry().intersects(simulator.frameGeometry());
            };
            covers = QTest::qWaitFor(clear) ? QString()
                                            : QDebug::toString(box.frameGeometry()) +
                                                  QDebug::toString(simulator.frameGeometry());
            box.accept();
        });
        box.exec();
        QVERIFY2(covers.isEmpty(), qPrintable(covers));
        simulator.close();
        window.findChild<QAction*>(QStringLiteral("mnuSimulator"))->trigger();
        const QString fromMenu = settledPlace(window, simulator);
        QVERIFY2(fromMenu.isEmpty(), qPrintable(fromMenu));
        reader.Form_Unload();
    }
};

QTEST_MAIN(TestDesktopPlacement)
#include "test_desktop_placement.moc"
