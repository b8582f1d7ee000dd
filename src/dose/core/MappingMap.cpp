#include "dose/core/MappingMap.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"
#include "dose/core/MappingText.h"
#include "dose/core/NiceScale.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <map>

namespace qvr::dose {

namespace {

// Anchors of the viridis scale.
constexpr MapColour kScale[] = {{0x44, 0x01, 0x54},
                                {0x3b, 0x52, 0x8b},
                                {0x21, 0x91, 0x8c},
                                {0x5e, 0xc9, 0x62},
                                {0xfd, 0xe7, 0x25}};

QString layerKey(const MappingPosition& p) {
    if (!p.layer.isEmpty())
        return p.layer;
    if (p.zMm)
        return QStringLiteral("z = %1 mm").arg(numberText(*p.zMm));
    return QStringLiteral("no layer");
}

struct Shown {
    std::optional<double> value;
    QString text;
    bool hatched = true;
};

QString doseText(double value, double expanded) {
    return expanded > 0 ? roundedToU(value, expanded).dose : QString::number(value, 'g', 3);
}

Shown shownOfMean(const PositionMean& m, std::size_t runs) {
    Shown s;
    if (m.n == 0) {
        s.text = QStringLiteral("no dose");
        return s;
    }
    s.value = m.mean;
    s.text = doseText(m.mean, kMappingCoverage * m.uMean);
    if (m.belowRange)
        s.text.prepend(QStringLiteral("< "));
    else if (m.aboveRange)
        s.text.prepend(QStringLiteral("> "));
    s.hatched = m.belowRange || m.aboveRange || std::size_t(m.n) < runs;
    return s;
}

Shown shownOfDose(const PositionDose* d) {
    Shown s;
    if (!d || d->state == PositionState::NoDose) {
        s.text = d && !doubtText(*d).isEmpty() ? doubtText(*d) : QStringLiteral("no dose");
        return s;
    }
    s.value = d->doseKGy;
    switch (d->state) {
    case PositionState::BelowRange:
        s.text = QStringLiteral("< ") + numberText(d->doseKGy);
        break;
    case PositionState::AboveRange:
        s.text = QStringLiteral("> ") + numberText(d->doseKGy);
        break;
    default:
        s.text = doseText(d->doseKGy, d->expanded);
        s.hatched = false;
    }
    return s;
}

// Rows and columns of one layer; cells come back with them set.
void place(MapLayer& layer, std::vector<MapCell>& cells,
           const std::vector<const MappingPosition*>& at) {
    layer.byCoordinates = std::all_of(at.begin(), at.end(),
                                      [](const MappingPosition* p) { return p->xMm && p->yMm; });
    if (layer.byCoordinates) {
        std::vector<double> xs, ys;
        for (const MappingPosition* p : at) {
            xs.push_back(*p->xMm);
            ys.push_back(*p->yMm);
        }
        std::sort(xs.begin(), xs.end());
        xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
        std::sort(ys.begin(), ys.end(), std::greater<>());
        ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
        for (double x : xs)
            layer.columns << numberText(x);
        for (double y : ys)
            layer.rows << numberText(y);
        for (std::size_t i = 0; i < at.size(); ++i) {
            cells[i].column = int(std::find(xs.begin(), xs.end(), *at[i]->xMm) - xs.begin());
            cells[i].row = int(std::find(ys.begin(), ys.end(), *at[i]->yMm) - ys.begin());
        }
        return;
    }
    static const QRegularExpression label(QStringLiteral("([A-Za-z]+)([0-9]+)$"));
    std::vector<std::pair<QString, int>> parsed(at.size());
    std::vector<QString> rowKeys;
    std::vector<int> columnKeys;
    for (std::size_t i = 0; i < at.size(); ++i) {
        const auto m = label.match(at[i]->id);
        if (!m.hasMatch())
            continue;
        parsed[i] = {m.captured(1).toUpper(), m.captured(2).toInt()};
        rowKeys.push_back(parsed[i].first);
        columnKeys.push_back(parsed[i].second);
    }
    // "AA" after "Z", as spreadsheets count.
    std::sort(rowKeys.begin(), rowKeys.end(), [](const QString& a, const QString& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    rowKeys.erase(std::unique(rowKeys.begin(), rowKeys.end()), rowKeys.end());
    std::sort(columnKeys.begin(), columnKeys.end());
    columnKeys.erase(std::unique(columnKeys.begin(), columnKeys.end()), columnKeys.end());
    for (const QString& r : rowKeys)
        layer.rows << r;
    for (int c : columnKeys)
        layer.columns << QString::number(c);
    int other = 0;
    for (std::size_t i = 0; i < at.size(); ++i) {
        if (parsed[i].first.isEmpty()) {
            cells[i].row = int(rowKeys.size());
            cells[i].column = other++;
            continue;
        }
        cells[i].row =
            int(std::find(rowKeys.begin(), rowKeys.end(), parsed[i].first) - rowKeys.begin());
        cells[i].column = int(std::find(columnKeys.begin(), columnKeys.end(), parsed[i].second) -
                              columnKeys.begin());
    }
    if (other > 0) {
        layer.rows << QStringLiteral("other");
        while (layer.columns.size() < other)
            layer.columns << QString();
    }
}

} // namespace

MapColour mapColour(double fraction) {
    if (!std::isfinite(fraction))
        return kNoDoseColour;
    const double f = std::clamp(fraction, 0.0, 1.0) * (std::size(kScale) - 1);
    const std::size_t i = std::min(std::size_t(f), std::size(kScale) - 2);
    const double t = f - double(i);
    auto mix = [t](int a, int b) { return int(std::lround(a + (b - a) * t)); };
    const MapColour& a = kScale[i];
    const MapColour& b = kScale[i + 1];
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

MapColour mapTextColour(const MapColour& c) {
    const double luma = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
    return luma > 140 ? MapColour{0, 0, 0} : MapColour{0xff, 0xff, 0xff};
}

QString MapCell::tag() const {
    QStringList tags;
    if (dmin)
        tags << QStringLiteral("Dmin");
    else if (minZone)
        tags << QStringLiteral("min");
    if (dmax)
        tags << QStringLiteral("Dmax");
    else if (maxZone)
        tags << QStringLiteral("max");
    if (monitoring)
        tags << QStringLiteral("mon");
    return tags.join(QLatin1Char(' '));
}

MappingMap buildMappingMap(const std::vector<MappingPosition>& positions,
                           const std::vector<MappingRun>& runs, const MappingSummary& summary,
                           const QString& run) {
    MappingMap map;
    const MappingRun* chosen = nullptr;
    for (const MappingRun& r : runs)
        if (r.id == run)
            chosen = &r;
    map.choice = chosen ? QStringLiteral("run %1").arg(run)
                        : QStringLiteral("mean over %1 runs").arg(runs.size());

    // One scale for every dose of the study.
    double lo = INFINITY, hi = -INFINITY;
    auto widen = [&](double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    };
    for (const MappingRun& r : runs)
        for (const PositionDose& d : r.doses)
            if (d.state != PositionState::NoDose)
                widen(d.doseKGy);
    for (const PositionMean& m : summary.positions)
        if (m.n > 0)
            widen(m.mean);
    if (lo > hi)
        lo = hi = 0;
    const NiceScale scale = niceScale(lo, hi, 6);
    map.lo = scale.lo;
    map.hi = scale.hi;
    auto fraction = [&](double v) { return (v - map.lo) / (map.hi - map.lo); };
    for (int i = 0; i < scale.ticks(); ++i) {
        const double v = scale.lo + i * scale.step;
        map.ticks.push_back({v, QString::number(v, 'g', 6), mapColour(fraction(v))});
    }

    std::map<QString, const PositionMean*> means;
    for (const PositionMean& m : summary.positions)
        means[m.position] = &m;
    std::map<QString, const PositionDose*> doses;
    if (chosen)
        for (const PositionDose& d : chosen->doses)
            doses[d.position] = &d;

    // Layers in the study's order, then those known by z alone, lowest first.
    std::vector<QString> order;
    std::map<QString, std::vector<const MappingPosition*>> byLayer;
    for (const MappingPosition& p : positions) {
        const QString key = layerKey(p);
        if (!byLayer.count(key))
            order.push_back(key);
        byLayer[key].push_back(&p);
    }
    auto zOf = [&](const QString& key) {
        const MappingPosition* p = byLayer[key].front();
        return p->layer.isEmpty() && p->zMm ? std::optional<double>(*p->zMm) : std::nullopt;
    };
    std::stable_sort(order.begin(), order.end(), [&](const QString& a, const QString& b) {
        const auto za = zOf(a), zb = zOf(b);
        if (za.has_value() != zb.has_value())
            return !za.has_value();
        return za && *za < *zb;
    });

    for (const QString& key : order) {
        const auto& at = byLayer[key];
        MapLayer layer;
        layer.name = key;
        std::vector<MapCell> cells(at.size());
        for (std::size_t i = 0; i < at.size(); ++i) {
            const MappingPosition& p = *at[i];
            MapCell& c = cells[i];
            c.position = p.id;
            c.monitoring = p.monitoring;
            c.minZone = summary.minZone.contains(p.id);
            c.maxZone = summary.maxZone.contains(p.id);
            c.dmin = summary.dmin && summary.dmin->position == p.id;
            c.dmax = summary.dmax && summary.dmax->position == p.id;
            Shown s;
            if (chosen) {
                const auto d = doses.find(p.id);
                s = shownOfDose(d == doses.end() ? nullptr : d->second);
            } else if (const auto m = means.find(p.id); m != means.end()) {
                s = shownOfMean(*m->second, runs.size());
            } else {
                s.text = QStringLiteral("no dose");
            }
            c.value = s.value;
            c.text = s.text;
            c.hatched = s.hatched;
            if (s.value)
                c.fill = mapColour(fraction(*s.value));
        }
        place(layer, cells, at);
        layer.cells = std::move(cells);
        map.layers.push_back(std::move(layer));
    }
    return map;
}

} // namespace qvr::dose
