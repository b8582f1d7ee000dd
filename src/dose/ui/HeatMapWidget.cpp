#include "dose/ui/HeatMapWidget.h"

#include "dose/ui/HeatMapPainter.h"

#include <QPainter>
#include <cmath>

namespace qvr::dose {

HeatMapWidget::HeatMapWidget(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void HeatMapWidget::setMap(MappingMap map) {
    map_ = std::move(map);
    setMinimumHeight(heightForWidth(width()));
    updateGeometry();
    update();
}

int HeatMapWidget::heightForWidth(int width) const {
    return int(std::ceil(heatMapsHeight(map_, font(), width))) + 8;
}

QSize HeatMapWidget::sizeHint() const {
    return {600, heightForWidth(600)};
}

void HeatMapWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The layers wrap to the width; the height follows.
    setMinimumHeight(heightForWidth(width()));
}

void HeatMapWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.translate(4, 4);
    paintHeatMaps(p, map_, font(), width() - 8);
}

} // namespace qvr::dose
