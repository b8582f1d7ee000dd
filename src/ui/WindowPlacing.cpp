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

} // namespace

void placeBeside(QWidget& side, const QWidget& window) {
    const QRect main = window.frameGeometry();
    const QScreen* screen = window.screen();
    if (!screen) {
        side.move(main.topRight() + QPoint(1, 0));
        return;
    }
    const QRect room = screen->availableGeometry();
    // The frame around the client area is known only once the window manager has framed the
    // window; until then the main window's frame is the best guess.
    const QSize frame = (side.frameGeometry().size() - side.geometry().size())
                            .expandedTo(main.size() - window.geometry().size());
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
    // Placed by its frame: QWidget::move() would take the point as the client area's until the
    // window manager has framed the window, and the title bar would stand above the point.
    if (QWindow* handle = side.windowHandle())
        handle->setFramePosition(best.topLeft());
    else
        side.move(best.topLeft());
}

void keepClearOf(QWidget& window, const QWidget& other) {
    const QRect frame = window.frameGeometry();
    const QRect avoid = other.frameGeometry();
    const QScreen* screen = window.screen();
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
    // Framed, the window takes the point as its frame's.
    if (!best.isNull())
        window.move(best.topLeft());
}

} // namespace qvr
