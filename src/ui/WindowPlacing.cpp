#include "ui/WindowPlacing.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <climits>

namespace qvr {

namespace {

// r moved the least distance that puts it inside room (its top left corner when it is larger).
QRect keptInside(QRect r, const QRect& room) {
    r.moveLeft(std::max(room.left(), std::min(r.left(), room.right() + 1 - r.width())));
    r.moveTop(std::max(room.top(), std::min(r.top(), room.bottom() + 1 - r.height())));
    return r;
}

int area(const QRect& r) {
    return r.isEmpty() ? 0 : r.width() * r.height();
}

// The frame a window not yet framed will have: the main window's frame is the best guess.
QSize frameMargins(const QWidget& window, const QWidget& main) {
    return (window.frameGeometry().size() - window.geometry().size())
        .expandedTo(main.frameGeometry().size() - main.geometry().size());
}

// Puts a window by its frame: QWidget::move() would take the point as the client area's
// until the window manager has framed the window, and the title bar would stand above it.
void moveFrame(QWidget& window, const QPoint& frameTopLeft) {
    if (QWindow* handle = window.windowHandle())
        handle->setFramePosition(frameTopLeft);
    else
        window.move(frameTopLeft);
}

} // namespace

void placeBeside(QWidget& side, const QWidget& window) {
    const QRect main = window.frameGeometry();
    const QScreen* screen = window.screen();
    if (!screen) {
        side.move(main.topRight() + QPoint(1, 0));
        return;
    }
    const QRect room = screen->availableGeometry();
    const QSize frame = frameMargins(side, window);
    const QSize wanted = side.size() + frame;
    // Smaller than it would like, down to this, beside the main window rather than over it.
    const QSize least(std::min(wanted.width(), 240), std::min(wanted.height(), 160));

    constexpr int gap = 8;
    struct Side {
        QRect free;
        QPoint at; // where the window would like to stand
    };
    const Side sides[] = {
        {QRect(QPoint(main.right() + 1 + gap, room.top()), room.bottomRight()),
         {main.right() + 1 + gap, main.top()}},
        {QRect(room.topLeft(), QPoint(main.left() - 1 - gap, room.bottom())),
         {main.left() - gap - wanted.width(), main.top()}},
        {QRect(QPoint(room.left(), main.bottom() + 1 + gap), room.bottomRight()),
         {main.left(), main.bottom() + 1 + gap}},
        {QRect(room.topLeft(), QPoint(room.right(), main.top() - 1 - gap)),
         {main.left(), main.top() - gap - wanted.height()}},
    };
    QRect best;
    for (const Side& s : sides) {
        const QSize fits = wanted.boundedTo(s.free.size());
        if (fits.width() < least.width() || fits.height() < least.height())
            continue;
        const QRect placed = keptInside(QRect(s.at, fits), s.free);
        if (area(placed) > area(best))
            best = placed;
    }
    if (best.isNull()) {
        // No side has room: on the screen, covering as little of the main window as can be.
        const QSize fits = wanted.boundedTo(room.size());
        int bestCover = INT_MAX;
        for (const Side& s : sides) {
            const QRect placed = keptInside(QRect(s.at, fits), room);
            const int cover = area(placed.intersected(main));
            if (cover < bestCover) {
                best = placed;
                bestCover = cover;
            }
        }
    }
    if (best.size() != wanted)
        side.resize(best.size() - frame);
    moveFrame(side, best.topLeft());
}

void keepClearOf(QWidget& dialog, const QWidget& other, const QWidget& main) {
    const QWidget* over = dialog.parentWidget() ? dialog.parentWidget()->window() : &main;
    QRect frame(QPoint(), dialog.size() + frameMargins(dialog, main));
    frame.moveCenter(over->frameGeometry().center());
    const QRect avoid = other.frameGeometry();
    const QScreen* screen = over->screen();
    if (!screen || !frame.intersects(avoid))
        return;
    const QRect room = screen->availableGeometry();
    constexpr int gap = 8;
    const QPoint to[] = {
        {avoid.left() - gap - frame.width(), frame.top()},
        {avoid.right() + 1 + gap, frame.top()},
        {frame.left(), avoid.top() - gap - frame.height()},
        {frame.left(), avoid.bottom() + 1 + gap},
    };
    QRect best;
    int bestDistance = INT_MAX;
    for (const QPoint& p : to) {
        const QRect placed = keptInside(QRect(p, frame.size()), room);
        const int distance = (placed.topLeft() - frame.topLeft()).manhattanLength();
        if (!placed.intersects(avoid) && distance < bestDistance) {
            best = placed;
            bestDistance = distance;
        }
    }
    if (best.isNull())
        return;
    // Not framed yet, the dialog takes a point as its client area's: the frame it will have
    // (the main window's, the best guess) is added. Moved, it no longer centres itself.
    dialog.move(best.topLeft() + main.geometry().topLeft() - main.frameGeometry().topLeft());
}

} // namespace qvr
