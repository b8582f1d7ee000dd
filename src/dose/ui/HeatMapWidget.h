#pragma once
// The heat maps of a study, painted as the PDF paints them, as tall as the width needs.

#include "dose/core/MappingMap.h"

#include <QWidget>

namespace qvr::dose {

class HeatMapWidget : public QWidget {
    Q_OBJECT
public:
    explicit HeatMapWidget(QWidget* parent = nullptr);

    void setMap(MappingMap map);
    const MappingMap& map() const { return map_; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    MappingMap map_;
};

} // namespace qvr::dose
