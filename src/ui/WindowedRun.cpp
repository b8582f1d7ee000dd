#include "ui/WindowedRun.h"

#include "core/ShutdownSignals.h"
#include "reader/Reader.h"
#include "ui/frmQVR100.h"

#include <QApplication>
#include <QScreen>
#include <algorithm>

namespace qvr {

namespace {

// Beside the main window on the right, or on its left when the right has no room.
void placeBeside(QWidget& side, const QWidget& window) {
    const QRect main = window.frameGeometry();
    constexpr int gap = 8;
    QPoint at(main.right() + 1 + gap, main.top());
    if (const QScreen* s = window.screen()) {
        const QRect room = s->availableGeometry();
        const int width = side.frameGeometry().width();
        if (at.x() + width > room.right() + 1)
            at.setX(std::max(room.left(), main.left() - gap - width));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - 40)));
    }
    side.move(at);
}

} // namespace

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
    if (simulatorWindow) {
        simulatorWindow->adjustSize();
        placeBeside(*simulatorWindow, window);
        simulatorWindow->show();
    }
    const int status = app.exec();
    // The main loop can only end through shut-down; should it end otherwise, the head lines
    // still go to 0 and the settings are still stored.
    if (!reader.hasEnded())
        reader.Form_Unload();
    return status;
}

} // namespace qvr
