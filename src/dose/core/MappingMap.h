#pragma once
// What a heat map of a mapping study shows, without painting it: one map per layer, a cell only
// where a position was measured (nothing in between is guessed), the colour of its dose on one
// scale over the whole study, the minimum and maximum zones marked by outline and tag so they
// read without colour, and a hatch where the choice has no valid dose.
//
// Placement: positions with a layer are grouped by it, in the study's order of first use; a
// position without a layer but with z is grouped by its z (ascending). Inside a layer, when every
// position has x and y, columns are the distinct x and rows the distinct y (highest y on top, as
// on a drawing); otherwise the grid label ends the id ("T-B2": row B, column 2), rows by letter,
// columns by number. Positions that fit neither take a row of their own under the grid.

#include "dose/core/MappingSummary.h"

namespace qvr::dose {

struct MapColour {
    int r = 0, g = 0, b = 0;
    bool operator==(const MapColour&) const = default;
};

// A sequential scale from dark blue (0) to yellow (1), readable in grey and by the colour-blind.
MapColour mapColour(double fraction);
// Black or white, whichever reads on the colour.
MapColour mapTextColour(const MapColour& fill);
inline const MapColour kNoDoseColour{0xdc, 0xdc, 0xdc};

struct MapCell {
    QString position;
    int row = 0, column = 0;
    std::optional<double> value; // the dose shown, kGy (a bound's value for "< D_low")
    QString text;                // "25.0", "< 5.00", "no dose"
    MapColour fill = kNoDoseColour;
    bool hatched = false; // no valid dose in the run shown, or in some run for the mean
    bool minZone = false, maxZone = false;
    bool dmin = false, dmax = false; // the study's minimum and maximum positions
    bool monitoring = false;
    QString tag() const; // "Dmin", "min", "Dmax", "max", "mon", joined by spaces
};

struct MapLayer {
    QString name; // "T", or "z = 150 mm"
    QStringList rows, columns;
    bool byCoordinates = false; // rows and columns are y and x in mm
    std::vector<MapCell> cells;
};

struct MapTick {
    double value = 0;
    QString text;
    MapColour colour;
};

struct MappingMap {
    QString choice; // "mean over 3 runs", "run R2"
    double lo = 0, hi = 1;
    std::vector<MapTick> ticks; // the scale's values, lo to hi
    std::vector<MapLayer> layers;
};

// The maps of the mean dose over the runs (run empty) or of one run's doses. The scale spans
// every dose of the study, so a colour means the same dose whichever run is shown.
MappingMap buildMappingMap(const std::vector<MappingPosition>& positions,
                           const std::vector<MappingRun>& runs, const MappingSummary& summary,
                           const QString& run = {});

} // namespace qvr::dose
