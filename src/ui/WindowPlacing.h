#pragma once
// Where a side window goes: beside the main window without covering it, wholly on the
// screen.

class QWidget;

namespace qvr {

// Right of window, else left of it, else below, else above; where none has room, the place
// that covers least of window. The side window is made smaller when the screen cannot hold
// it, and always lands wholly inside the screen's available area.
void placeBeside(QWidget& side, const QWidget& window);

} // namespace qvr
