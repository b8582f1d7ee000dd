#include "ui/DisplayLayout.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <algorithm>
#include <cmath>

namespace qvr {

namespace {

// The widest texts each label shows as a number, so that the type keeps its size from reading
// to reading; a longer text ("Zeroing") gets smaller type rather than being cut.
const QString kWidestWavelength = QStringLiteral("000 nm");
const QString kWidestAbsorbance = QStringLiteral("-0.000");

// f made smaller where needed so that the widest of texts fits in width.
QFont fittedToWidth(QFont f, double width, const QStringList& texts) {
    double widest = 0;
    for (const QString& t : texts)
        widest = std::max(widest, QFontMetricsF(f).horizontalAdvance(t));
    const double room = width * 0.95;
    if (widest > room) {
        const int px = QFontInfo(f).pixelSize();
        f.setPixelSize(std::max(1, static_cast<int>(std::floor(px * room / widest))));
    }
    return f;
}

// The display type at the largest size at which texts fit in box.
QFont fitted(QFont f, const QRect& box, const QStringList& texts) {
    f.setPixelSize(std::max(1, box.height() * 4 / 5));
    return fittedToWidth(f, box.width(), texts);
}

} // namespace

DisplayLayout::DisplayLayout(QWidget* client, QLabel* wl, QLabel* a, QWidget* panel, int panelTop)
    : QObject(client), client_(client), wl_(wl), a_(a), panel_(panel), panelTop_(panelTop),
      normalFont_(a->font()), normalWl_(wl->geometry()), normalA_(a->geometry()) {
    client_->installEventFilter(this);
    placeNormal();
}

void DisplayLayout::setLarge(bool large) {
    if (large == large_)
        return;
    large_ = large;
    panel_->setVisible(!large);
    place();
}

void DisplayLayout::fitAbsorbance() {
    place();
}

bool DisplayLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize)
        place();
    return QObject::eventFilter(watched, event);
}

void DisplayLayout::place() {
    large_ ? placeLarge() : placeNormal();
}

void DisplayLayout::placeNormal() {
    wl_->setFont(normalFont_);
    for (QLabel* l : {wl_, a_})
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    wl_->setGeometry(normalWl_);
    // The absorbance may use the room up to the window's edge before its type shrinks.
    QRect a = normalA_;
    a.setRight(std::max(normalA_.right(), client_->width() - 1 - normalWl_.left()));
    a_->setGeometry(a);
    a_->setFont(fittedToWidth(normalFont_, a.width(), {kWidestAbsorbance, a_->text()}));
    panel_->setGeometry(0, panelTop_, client_->width(), std::max(0, client_->height() - panelTop_));
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
    wl_->setFont(fitted(normalFont_, wlBox, {kWidestWavelength, wl_->text()}));
    a_->setGeometry(aBox);
    a_->setFont(fitted(normalFont_, aBox, {kWidestAbsorbance, a_->text()}));
    for (QLabel* l : {wl_, a_})
        l->setAlignment(Qt::AlignCenter);
}

} // namespace qvr
