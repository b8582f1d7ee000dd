#pragma once
// What the reader needs from whoever presents it: a window to place (or none), the modal
// dialogs, and the end of the process. The windows supply one; a run without windows another.

#include <QRectF>
#include <QSizeF>

namespace qvr {

// The main window's outer frame in screen twips.
class WindowPlacement {
public:
    virtual ~WindowPlacement() = default;
    virtual QRectF frameTwips() const = 0;
    virtual void moveTo(float left, float top) = 0;
    virtual QSizeF screenTwips() const = 0;
};

class ReaderHost {
public:
    virtual ~ReaderHost() = default;
    // The main window, or nullptr when there is none (the stored position is then left alone).
    virtual WindowPlacement* placement() { return nullptr; }
    // Shows the board dialog modally and returns when it is closed.
    virtual void showBoardDialog() = 0;
    // A person can choose another board when the stored one is another program's; without
    // one (a service) the program ends instead.
    virtual bool offersBoardChoice() const { return false; }
    // Shows the filter check modally and returns when it is closed.
    virtual void showFilterCheck() {}
    // Last step of shut-down: closes every window and leaves the event loops; the reader has
    // already stopped its timers and fenced off the card.
    virtual void endProcess() = 0;
};

} // namespace qvr
