#include "ui/DisplayLayout.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <algorithm>
#include <cmath>

namespace qvr {

namespace {

// The widest texts each label shows, so that the type keeps its size from reading to reading.
const QString kWidestWavelength = QStringLiteral("000 nm");
const QString kWidestAbsorbance = QStringLiteral("-0.000");

// The display type at the largest size at which text fits in box.
QFont fitted(QFont f, const QRect& box, const QString& text) {
    int px = std::max(1, box.height() * 4 / 5);
    f.setPixelSize(px);
    const double width = QFontMetricsF(f).horizontalAdvance(text);
    const double room = box.width() * 0.95;
    if (width > room) {
        px = std::max(1, static_cast<int>(std::floor(px * room / width)));
        f.setPixelSize(px);
    }
    return f;
}

} // namespace

DisplayLayout::DisplayLayout(QWidget* client, QLabel* wl, QLabel* a, QList<QWidget*> panel)
    : QObject(client), client_(client), wl_(wl), a_(a), panel_(std::move(panel)),
      normalFont_(a->font()), normalWl_(wl->geometry()), normalA_(a->geometry()) {
    client_->installEventFilter(this);
}

void DisplayLayout::setLarge(bool large) {
    if (large == large_)
        return;
    large_ = large;
    for (QWidget* w : panel_)
        w->setVisible(!large);
    large ? placeLarge() : placeNormal();
}

bool DisplayLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize && large_)
        placeLarge();
    return QObject::eventFilter(watched, event);
}

void DisplayLayout::placeNormal() {
    for (QLabel* l : {wl_, a_}) {
        l->setFont(normalFont_);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    wl_->setGeometry(normalWl_);
    a_->setGeometry(normalA_);
}

void DisplayLayout::placeLarge() {
    const QRect area = client_->rect();
    const int margin = std::max(2, std::min(area.width(), area.height()) / 30);
    const QRect inner = area.adjusted(margin, margin, -margin, -margin);
    // The wavelength above in smaller type, the absorbance below in the largest.
    const int wlHeight = inner.height() * 3 / 10;
    const QRect wlBox(inner.left(), inner.top(), inner.width(), wlHeight);
    const QRect aBox(inner.left(), inner.top() + wlHeight, inner.width(),
                     inner.height() - wlHeight);
    wl_->setGeometry(wlBox);
    wl_->setFont(fitted(normalFont_, wlBox, kWidestWavelength));
    a_->setGeometry(aBox);
    a_->setFont(fitted(normalFont_, aBox, kWidestAbsorbance));
    for (QLabel* l : {wl_, a_})
        l->setAlignment(Qt::AlignCenter);
}

} // namespace qvr
