#pragma once
// Places a child widget by the twips of its window's layout.

#include "app/Twips.h"

#include <QWidget>

namespace qvr {

inline void setTwipsGeometry(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(twipsRect(left, top, width, height, w->screen()));
}

inline QSize twipsSize(const QWidget* w, int width, int height) {
    return {twipsToPixels(width, w->screen()), twipsToPixels(height, w->screen())};
}

} // namespace qvr
