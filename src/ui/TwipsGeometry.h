#pragma once
// Places a child widget by the twips of its window's layout, in the type those layouts
// were drawn for.

#include "ui/Twips.h"

#include <QFont>
#include <QWidget>

namespace qvr {

inline void setTwipsGeometry(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(twipsRect(left, top, width, height, w->screen()));
}

// 8-point Arial (Liberation Sans where Arial is not installed): the twips layouts leave room
// for texts of this size and no more.
inline QFont formFont() {
    return QFont(QStringLiteral("Arial"), 8);
}

inline QSize twipsSize(const QWidget* w, int width, int height) {
    return {twipsToPixels(width, w->screen()), twipsToPixels(height, w->screen())};
}

} // namespace qvr
