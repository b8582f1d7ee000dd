#include "dose/ui/HeatMapPainter.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace qvr::dose {

namespace {

QColor colour(const MapColour& c) {
    return QColor(c.r, c.g, c.b);
}

QFont smaller(const QFont& font) {
    QFont f = font;
    f.setPointSizeF(font.pointSizeF() * 0.85);
    return f;
}

struct Metrics {
    QFontMetricsF text, small;
    double line, cellW, cellH, labelW, gap;

    Metrics(const MappingMap& map, const QFont& font)
        : text(font), small(smaller(font)), line(text.height()) {
        double w = text.horizontalAdvance(QStringLiteral("< 00.00"));
        double labels = text.horizontalAdvance(QStringLiteral("000"));
        for (const MapLayer& l : map.layers) {
            for (const MapCell& c : l.cells) {
                w = std::max({w, text.horizontalAdvance(c.text),
                              small.horizontalAdvance(c.position),
                              small.horizontalAdvance(c.tag())});
            }
            for (const QString& r : l.rows)
                labels = std::max(labels, text.horizontalAdvance(r));
        }
        // Room inside for a zone's outline.
        cellW = w + line + 12;
        cellH = line + 2 * small.height() + line * 0.6 + 10;
        labelW = labels + line * 0.5;
        gap = line * 1.5;
    }
    QSizeF layer(const MapLayer& l) const {
        return {labelW + cellW * std::max<qsizetype>(1, l.columns.size()),
                line * 2.2 + cellH * std::max<qsizetype>(1, l.rows.size())};
    }
    double keyHeight() const { return line * 7.4; }
};

// Where each layer goes, flowing left to right and wrapping at width; gives the maps' height.
double flow(const MappingMap& map, const Metrics& m, double width, std::vector<QPointF>* at) {
    double x = 0, y = 0, rowH = 0;
    for (const MapLayer& l : map.layers) {
        const QSizeF s = m.layer(l);
        if (x > 0 && x + s.width() > width) {
            x = 0;
            y += rowH + m.gap;
            rowH = 0;
        }
        if (at)
            at->push_back({x, y});
        x += s.width() + m.gap;
        rowH = std::max(rowH, s.height());
    }
    return y + rowH;
}

void paintCell(QPainter& p, const MapCell& c, const QRectF& r, const QFont& font,
               const Metrics& m) {
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(colour(c.fill));
    p.drawRect(r);
    const QColor ink = colour(c.value ? mapTextColour(c.fill) : MapColour{0, 0, 0});
    if (c.hatched) {
        // In the ink of the cell's text, so the hatch shows on a dark fill as on a light one.
        QColor hatch = ink;
        hatch.setAlpha(160);
        p.setPen(Qt::NoPen);
        p.setBrush(QBrush(hatch, Qt::BDiagPattern));
        p.drawRect(r);
    }
    // The value on a plain patch of its own colour, so the hatch never crosses a digit.
    const QRectF value(r.left() + 2, r.center().y() - m.line / 2, r.width() - 4, m.line);
    if (c.hatched) {
        const double w = m.text.horizontalAdvance(c.text) + 6;
        p.fillRect(QRectF(r.center().x() - w / 2, value.top(), w, value.height()), colour(c.fill));
    }
    p.setPen(ink);
    QFont bold = font;
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(value, Qt::AlignCenter, c.text);
    p.setFont(smaller(font));
    const QRectF top(r.left() + 6, r.top() + 7, r.width() - 12, m.small.height());
    const QRectF bottom(r.left() + 6, r.bottom() - 7 - m.small.height(), r.width() - 12,
                        m.small.height());
    if (c.hatched) {
        for (const auto& [rect, text] : {std::pair{top, c.position}, std::pair{bottom, c.tag()}}) {
            if (text.isEmpty())
                continue;
            const double w = m.small.horizontalAdvance(text) + 4;
            p.fillRect(QRectF(rect.center().x() - w / 2, rect.top(), w, rect.height()),
                       colour(c.fill));
        }
    }
    p.drawText(top, Qt::AlignHCenter | Qt::AlignTop, c.position);
    p.drawText(bottom, Qt::AlignHCenter | Qt::AlignBottom, c.tag());
    // Zones by line style as well as by tag: dashed the minimum, solid the maximum.
    const QRectF inner = r.adjusted(2.5, 2.5, -2.5, -2.5);
    p.setBrush(Qt::NoBrush);
    if (c.minZone || c.maxZone) {
        p.setPen(QPen(Qt::white, 5));
        p.drawRect(inner);
        p.setPen(QPen(Qt::black, 3, c.minZone ? Qt::DashLine : Qt::SolidLine));
        p.drawRect(inner);
    }
}

void paintLayer(QPainter& p, const MapLayer& l, QPointF at, const QFont& font, const Metrics& m) {
    p.setPen(Qt::black);
    QFont bold = font;
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRectF(at.x(), at.y(), m.layer(l).width(), m.line), Qt::AlignLeft,
               QStringLiteral("Layer %1%2")
                   .arg(l.name, l.byCoordinates ? QStringLiteral(" (x, y in mm)") : QString()));
    p.setFont(font);
    const double top = at.y() + m.line * 2.2;
    const double left = at.x() + m.labelW;
    for (int c = 0; c < l.columns.size(); ++c)
        p.drawText(QRectF(left + c * m.cellW, top - m.line * 1.1, m.cellW, m.line), Qt::AlignCenter,
                   l.columns[c]);
    for (int r = 0; r < l.rows.size(); ++r)
        p.drawText(QRectF(at.x(), top + r * m.cellH, m.labelW - m.line * 0.3, m.cellH),
                   Qt::AlignRight | Qt::AlignVCenter, l.rows[r]);
    for (const MapCell& c : l.cells)
        paintCell(p, c, QRectF(left + c.column * m.cellW, top + c.row * m.cellH, m.cellW, m.cellH),
                  font, m);
}

void paintKey(QPainter& p, const MappingMap& map, double y, double width, const QFont& font,
              const Metrics& m) {
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, y, width, m.line), Qt::AlignLeft,
               QStringLiteral("Dose kGy, %1").arg(map.choice));
    const double barW = std::min(width * 0.6, m.line * 24);
    const QRectF bar(m.line * 0.5, y + m.line * 1.2, barW, m.line);
    QLinearGradient g(bar.topLeft(), bar.topRight());
    for (int i = 0; i <= 20; ++i)
        g.setColorAt(i / 20.0, colour(mapColour(i / 20.0)));
    p.fillRect(bar, g);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(bar);
    for (const MapTick& t : map.ticks) {
        const double x = bar.left() + bar.width() * (t.value - map.lo) / (map.hi - map.lo);
        p.drawLine(QPointF(x, bar.bottom()), QPointF(x, bar.bottom() + m.line * 0.3));
        p.drawText(QRectF(x - m.line * 2, bar.bottom() + m.line * 0.3, m.line * 4, m.line),
                   Qt::AlignHCenter | Qt::AlignTop, t.text);
    }
    // The marks, each as it is drawn on a cell.
    const double s = m.line * 1.2;
    double x = 0;
    double ky = y + m.line * 3.8;
    auto item = [&](const QString& text, auto draw) {
        if (x > 0 && x + s * 1.6 + m.line * 0.4 + m.text.horizontalAdvance(text) > width) {
            x = 0;
            ky += s * 1.4;
        }
        const QRectF swatch(x, ky, s * 1.6, s);
        draw(swatch);
        p.setPen(Qt::black);
        const double w = m.text.horizontalAdvance(text);
        p.drawText(QRectF(swatch.right() + m.line * 0.4, ky, w + 2, s), Qt::AlignVCenter, text);
        x = swatch.right() + m.line * 1.6 + w;
    };
    item(QStringLiteral("minimum zone (Dmin: its lowest mean)"), [&](const QRectF& r) {
        p.fillRect(r, QColor(0xe0, 0xe0, 0xe0));
        p.setPen(QPen(Qt::black, 3, Qt::DashLine));
        p.drawRect(r.adjusted(1.5, 1.5, -1.5, -1.5));
    });
    item(QStringLiteral("maximum zone (Dmax)"), [&](const QRectF& r) {
        p.fillRect(r, QColor(0xe0, 0xe0, 0xe0));
        p.setPen(QPen(Qt::black, 3));
        p.drawRect(r.adjusted(1.5, 1.5, -1.5, -1.5));
    });
    item(QStringLiteral("no valid dose (the mean: in some run)"), [&](const QRectF& r) {
        p.fillRect(r, colour(kNoDoseColour));
        p.fillRect(r, QBrush(QColor(0x30, 0x30, 0x30), Qt::BDiagPattern));
    });
    item(QStringLiteral("mon: monitoring position"), [&](const QRectF& r) {
        p.setFont(smaller(font));
        p.drawText(r, Qt::AlignCenter, QStringLiteral("mon"));
        p.setFont(font);
    });
}

} // namespace

double heatMapsHeight(const MappingMap& map, const QFont& font, double width) {
    const Metrics m(map, font);
    return flow(map, m, width, nullptr) + m.gap + m.keyHeight();
}

void paintHeatMaps(QPainter& p, const MappingMap& map, const QFont& font, double width) {
    const Metrics m(map, font);
    std::vector<QPointF> at;
    const double h = flow(map, m, width, &at);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (std::size_t i = 0; i < map.layers.size(); ++i)
        paintLayer(p, map.layers[i], at[i], font, m);
    paintKey(p, map, h + m.gap, width, font, m);
    p.restore();
}

QImage heatMapsImage(const MappingMap& map, const QFont& font, double width, double scale) {
    const double height = heatMapsHeight(map, font, width);
    QImage image(QSize(int(width * scale + 1), int(height * scale + 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.scale(scale, scale);
    paintHeatMaps(p, map, font, width);
    return image;
}

} // namespace qvr::dose
