#pragma once
// The dose of one dosimeter through a fitted calibration, with its uncertainty combined by the
// GUM: relative standard components in quadrature, expanded with k = 2.

#include "dose/core/Fit.h"

#include <optional>

namespace qvr::dose {

// The display shows three decimals: a rectangular distribution of width 0.001.
inline constexpr double kReadingResolution = 0.001;
inline constexpr double kCoverage = 2;

struct DoseInput {
    double absorbance = 0;
    double a0 = 0;
    double thicknessUm = 0;
    double uThicknessUm = 0;         // the gauge's or the batch's standard uncertainty
    std::optional<double> readingSd; // spread of the captured readings, when known
};

// Relative standard uncertainties (k = 1) in percent of the dose.
struct Components {
    double fit = 0;             // the calibration function at this response
    double reference = 0;       // the reference doses of the calibration
    double reproducibility = 0; // film to film, pooled replicate spread of the calibration
    double thickness = 0;
    double reading = 0;      // display resolution and, when known, the readings' spread
    double combined() const; // in quadrature
};

// Whether a result is a dose. Only the response decides the range: past the highest level a
// polynomial may turn back and give a mid-range dose for an overdosed film.
enum class Validity {
    Valid,
    BelowRange,   // the response is below the mean response of the lowest dose level
    AboveRange,   // ... above that of the highest
    NoDose,       // the calibration function gives no finite number there
    OutsideRange, // judged by the dose before validity was judged by response
};

struct DoseResult {
    double response = 0; // mm^-1
    // Only for a valid dose; otherwise not a number, stored as null and never shown.
    double dose = 0;     // kGy
    double expanded = 0; // U (k = 2), kGy
    Components components;
    bool inRange = false; // valid: the only dose presented as a dose
    Validity validity = Validity::NoDose;
    QString reason; // why there is no valid dose
};

DoseResult computeDose(const Fit& fit, const DoseInput& input);

// The flag naming a validity ("below_range" ...); empty for a valid dose.
QString validityFlag(Validity validity);

// Sample standard deviation; nullopt with fewer than three values (the reader smooths
// consecutive readings, so two say too little about their spread).
std::optional<double> readingSpread(const std::vector<double>& values);

} // namespace qvr::dose
