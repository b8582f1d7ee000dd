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

// Where the framed window covers other, it moves the least distance that puts it beside
// other, wholly on the screen; elsewhere it is left where it is.
void keepClearOf(QWidget& window, const QWidget& other);

} // namespace qvr
