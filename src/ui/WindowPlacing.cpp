#include "ui/WindowPlacing.h"

#include <QScreen>
#include <QWidget>
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
    QSize size = side.size() + frame;
    if (size.width() > room.width() || size.height() > room.height()) {
        size = size.boundedTo(room.size());
        side.resize(size - frame);
    }
    constexpr int gap = 8;
    const QPoint candidates[] = {
        {main.right() + 1 + gap, main.top()},
        {main.left() - gap - size.width(), main.top()},
        {main.left(), main.bottom() + 1 + gap},
        {main.left(), main.top() - gap - size.height()},
    };
    QRect best;
    int bestCover = INT_MAX;
    for (const QPoint& at : candidates) {
        const QRect placed = keptInside(QRect(at, size), room);
        const int cover = area(placed.intersected(main));
        if (cover < bestCover) {
            best = placed;
            bestCover = cover;
        }
    }
    side.move(best.topLeft());
}

} // namespace qvr
