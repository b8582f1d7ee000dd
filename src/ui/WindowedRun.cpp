#include "ui/WindowedRun.h"

#include "core/ShutdownSignals.h"
#include "reader/Reader.h"
#include "ui/frmQVR100.h"

#include <QApplication>

namespace qvr {

int runWindowed(QApplication& app, Reader& reader, bool simulated, QWidget* simulatorWindow) {
    // Installed before start-up, so that a signal during a start-up dialog shuts down too.
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::received, &reader,
                     [&reader] { reader.Form_Unload(); });

    frmQVR100 window(reader, simulated);
    // Start-up's dialogs and messages come before the window shows.
    reader.Form_Load(window);
    if (reader.hasEnded())
        return 0;
    window.show();
    window.setSimulatorWindow(simulatorWindow);
    window.showSimulator();
    const int status = app.exec();
    // The main loop can only end through shut-down; should it end otherwise, the head lines
    // still go to 0 and the settings are still stored.
    if (!reader.hasEnded())
        reader.Form_Unload();
    return status;
}

} // namespace qvr
