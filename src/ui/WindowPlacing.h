#pragma once
// Where a side window goes: beside the main window without covering it, wholly on the
// screen.

class QWidget;

namespace qvr {

// Beside window on the side with the most room (right, left, below, above; the first of
// equals), made smaller to fit there when it must; where no side has room, on the screen
// covering as little of window as it can. It always lands wholly inside the screen's
// available area.
void placeBeside(QWidget& side, const QWidget& window);

// Called as dialog is about to show: where it would stand (centred over its parent's window,
// else over main) covers other, it stands instead the least distance away beside other,
// wholly on the screen. Elsewhere it is left to stand where it would.
void keepClearOf(QWidget& dialog, const QWidget& other, const QWidget& main);

} // namespace qvr
