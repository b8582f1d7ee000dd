// The heat maps of the synthetic product: a cell at each measured position and nowhere else,
// the doses it shows, the zones tagged, a hatch where a run has no valid dose, one scale.

#include "MappingProduct.h"
#include "dose/core/MappingMap.h"

#include <QTest>
#include <cmath>

using namespace qvr::dose;
using namespace qvr::test;

namespace {

const MapCell* cellOf(const MappingMap& map, const QString& id) {
    for (const MapLayer& l : map.layers)
        for (const MapCell& c : l.cells)
            if (c.position == id)
                return &c;
    return nullptr;
}

double fractionOf(const MappingMap& map, double v) {
    return (v - map.lo) / (map.hi - map.lo);
}

} // namespace

class TestDoseMappingMap : public QObject {
    Q_OBJECT
private slots:
    void gridLabelsPlaceEachPositionOnItsLayer() {
        const Product p = syntheticProduct();
        const MappingMap map =
            buildMappingMap(p.positions, p.runs, summarizeMapping(p.study, p.positions, p.runs));
        QCOMPARE(map.layers.size(), size_t(3));
        for (int l = 0; l < 3; ++l) {
            const MapLayer& layer = map.layers[l];
            QCOMPARE(layer.name, QStringLiteral("L%1").arg(l + 1));
            QCOMPARE(layer.rows, (QStringList{"A", "B", "C"}));
            QCOMPARE(layer.columns, (QStringList{"1", "2", "3"}));
            QCOMPARE(layer.cells.size(), size_t(9));
            for (const MapCell& c : layer.cells)
                QCOMPARE(c.position, positionId(l, c.row, c.column));
        }
    }

    void meanMapShowsTheMeansAndHatchesAPositionMissingInARun() {
        const Product p = syntheticProduct();
        const MappingMap map =
            buildMappingMap(p.positions, p.runs, summarizeMapping(p.study, p.positions, p.runs));
        QCOMPARE(map.choice, QStringLiteral("mean over 3 runs"));
        for (const MappingPosition& pos : p.positions) {
            const MapCell* c = cellOf(map, pos.id);
            QVERIFY(c && c->value);
            const double want =
                pos.id == kInvalid
                    ? (fieldDose(0, pos.id) + fieldDose(2, pos.id)) / 2
                    : (fieldDose(0, pos.id) + fieldDose(1, pos.id) + fieldDose(2, pos.id)) / 3;
            QVERIFY2(std::fabs(*c->value - want) < 1e-9, qPrintable(pos.id));
            QCOMPARE(c->hatched, pos.id == kInvalid);
            QCOMPARE(c->fill, mapColour(fractionOf(map, want)));
        }
        // 25 x (1.00 + 1.04 + 0.97) / 3 = 25.08, written to U's second digit (U about 1 kGy).
        QCOMPARE(cellOf(map, kMin)->text, QStringLiteral("25.1"));
    }

    void runMapShowsThatRunAndNoDoseWhereItHasNone() {
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        for (int run = 0; run < 3; ++run) {
            const MappingMap map = buildMappingMap(p.positions, p.runs, s, p.runs[run].id);
            QCOMPARE(map.choice, QStringLiteral("run R%1").arg(run + 1));
            for (const MappingPosition& pos : p.positions) {
                const MapCell* c = cellOf(map, pos.id);
                QVERIFY(c);
                if (run == 1 && pos.id == kInvalid) {
                    QVERIFY(!c->value);
                    QVERIFY(c->hatched);
                    QCOMPARE(c->text, QStringLiteral("no dose"));
                    QCOMPARE(c->fill, kNoDoseColour);
                    continue;
                }
                QVERIFY(c->value);
                QCOMPARE(*c->value, fieldDose(run, pos.id));
                QVERIFY(!c->hatched);
            }
        }
    }

    void zonesAreTaggedSoTheyReadWithoutColour() {
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        const MappingMap map = buildMappingMap(p.positions, p.runs, s, QStringLiteral("R3"));
        QCOMPARE(cellOf(map, kMin)->tag(), QStringLiteral("Dmin"));
        QCOMPARE(cellOf(map, kMax)->tag(), QStringLiteral("Dmax"));
        QCOMPARE(cellOf(map, kMonitor)->tag(), QStringLiteral("mon"));
        int minTags = 0, maxTags = 0;
        for (const MapLayer& l : map.layers)
            for (const MapCell& c : l.cells) {
                minTags += c.tag().contains(QStringLiteral("min"), Qt::CaseInsensitive);
                maxTags += c.tag().contains(QStringLiteral("max"), Qt::CaseInsensitive);
            }
        QCOMPARE(minTags, int(s.minZone.size()));
        QCOMPARE(maxTags, int(s.maxZone.size()));
        // The neighbour of the minimum, 1.2 % above it, cannot be told from it.
        QCOMPARE(cellOf(map, QStringLiteral("L1-B1"))->tag(), QStringLiteral("min"));
    }

    void oneScaleSpansEveryDoseOfTheStudy() {
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        const MappingMap mean = buildMappingMap(p.positions, p.runs, s);
        const MappingMap run = buildMappingMap(p.positions, p.runs, s, QStringLiteral("R2"));
        QCOMPARE(run.lo, mean.lo);
        QCOMPARE(run.hi, mean.hi);
        // The lowest dose of all is run 3's minimum, the highest run 2's maximum.
        QVERIFY(mean.lo <= 25.0 * kRunScale[2] && mean.hi >= 40.0 * kRunScale[1]);
        QVERIFY(mean.ticks.size() >= 3);
        QCOMPARE(mean.ticks.front().value, mean.lo);
        QCOMPARE(mean.ticks.back().value, mean.hi);
        QCOMPARE(mean.ticks.front().colour, mapColour(0));
        QCOMPARE(mean.ticks.back().colour, mapColour(1));
        for (std::size_t i = 1; i < mean.ticks.size(); ++i)
            QVERIFY(mean.ticks[i].value > mean.ticks[i - 1].value);
    }

    void boundsAreShownAsBoundsAndHatched() {
        Product p = syntheticProduct();
        PositionDose& d = p.runs[0].doses[0];
        d.state = PositionState::BelowRange;
        d.doseKGy = 5;
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        const MappingMap run = buildMappingMap(p.positions, p.runs, s, QStringLiteral("R1"));
        const MapCell* c = cellOf(run, d.position);
        QCOMPARE(c->text, QStringLiteral("< 5"));
        QVERIFY(c->hatched);
        QCOMPARE(*c->value, 5.0);
        QVERIFY(cellOf(buildMappingMap(p.positions, p.runs, s), d.position)->hatched);
    }

    void coordinatesPlaceLayersByZAndCellsByXAndY() {
        std::vector<MappingPosition> positions;
        auto add = [&](const char* id, double x, double y, double z) {
            MappingPosition pos;
            pos.id = QString::fromLatin1(id);
            pos.xMm = x;
            pos.yMm = y;
            pos.zMm = z;
            positions.push_back(pos);
        };
        add("P1", 0, 0, 300);
        add("P2", 200, 0, 300);
        add("P3", 0, 150, 300);
        add("P4", 100, 75, 0);
        MappingPosition odd; // a layer but no grid label
        odd.id = QStringLiteral("centre");
        odd.layer = QStringLiteral("T");
        positions.push_back(odd);
        const MappingMap map = buildMappingMap(positions, {}, MappingSummary{});
        QCOMPARE(map.layers.size(), size_t(3));
        QCOMPARE(map.layers[0].name, QStringLiteral("T"));
        QCOMPARE(map.layers[0].rows, QStringList{"other"});
        QCOMPARE(map.layers[1].name, QStringLiteral("z = 0 mm"));
        const MapLayer& top = map.layers[2];
        QCOMPARE(top.name, QStringLiteral("z = 300 mm"));
        QVERIFY(top.byCoordinates);
        QCOMPARE(top.columns, (QStringList{"0", "200"}));
        QCOMPARE(top.rows, (QStringList{"150", "0"})); // highest y on top
        QCOMPARE(top.cells[1].row, 1);
        QCOMPARE(top.cells[1].column, 1);
        QCOMPARE(top.cells[2].row, 0);
        QCOMPARE(top.cells[2].column, 0);
        for (const MapLayer& l : map.layers)
            for (const MapCell& c : l.cells)
                QVERIFY(c.hatched && !c.value);
    }

    void coloursRunDarkToLightAndTextReadsOnThem() {
        QCOMPARE(mapColour(0), (MapColour{0x44, 0x01, 0x54}));
        QCOMPARE(mapColour(1), (MapColour{0xfd, 0xe7, 0x25}));
        QCOMPARE(mapColour(-3), mapColour(0));
        QCOMPARE(mapColour(NAN), kNoDoseColour);
        QCOMPARE(mapTextColour(mapColour(0)), (MapColour{0xff, 0xff, 0xff}));
        QCOMPARE(mapTextColour(mapColour(1)), (MapColour{0, 0, 0}));
    }
};

QTEST_GUILESS_MAIN(TestDoseMappingMap)
#include "test_dose_mapping_map.moc"
