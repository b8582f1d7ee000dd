#pragma once
// The dose of one dosimeter through a fitted calibration, with its uncertainty combined by the
// GUM: relative standard components in quadrature, each source counted once, expanded with k
// from Student's t at the Welch-Satterthwaite degrees of freedom for 95.45 %.

#include "dose/core/Fit.h"

#include <optional>

namespace qvr::dose {

// The display shows three decimals: a rectangular distribution of width 0.001.
inline constexpr double kReadingResolution = 0.001;
inline constexpr double kCoverage = 2;                 // the fits made before the budget by dose
inline constexpr double kCoverageProbability = 0.9545; // k = 2 for a normal distribution
inline constexpr double kLargeDof = 1e6;               // no finite dof: a normal distribution

struct DoseInput {
    double absorbance = 0;
    double a0 = 0;
    double thicknessUm = 0;
    double uThicknessUm = 0;         // the gauge's or the batch's standard uncertainty
    std::optional<double> readingSd; // spread of the captured readings, when known
    bool thicknessMeasured = false;  // a gauge reading, like the calibration films'; else nominal
    // The calibration's A0 at this wavelength, and the standard uncertainty of the A0 used: it
    // counts only when the two differ (the calibration's scatter holds its own background).
    std::optional<double> calibrationA0;
    double uA0 = 0;
};

// Relative standard uncertainties (k = 1) in percent of the dose. The reference is systematic:
// common to every film read with the calibration. The rest vary from film to film.
struct Components {
    double fit = 0;             // the calibration function at this response
    double reference = 0;       // the reference doses of the calibration, at this dose
    double reproducibility = 0; // film to film, the calibration's replicate spread at this dose
    double thickness = 0;       // a nominal thickness where the calibration films were gauged
    double reading = 0;         // the readings' spread beyond the calibration's
    double background = 0;      // an A0 other than the calibration's
    double combined() const;    // in quadrature
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
    double expanded = 0; // U, kGy
    Components components;
    double coverage = kCoverage; // k
    double dof = 0;              // effective degrees of freedom; 0: not estimated (budget 1)
    int budget = 1;              // the budget that made it (Fit::budget)
    bool inRange = false;        // valid: the only dose presented as a dose
    Validity validity = Validity::NoDose;
    QString reason; // why there is no valid dose
};

DoseResult computeDose(const Fit& fit, const DoseInput& input);

// k for 95.45 % from Student's t at dof degrees of freedom (2 for large ones).
double coverageFactor(double dof);

// The flag naming a validity ("below_range" ...); empty for a valid dose.
QString validityFlag(Validity validity);

// Sample standard deviation; nullopt with fewer than three values (the reader smooths
// consecutive readings, so two say too little about their spread).
std::optional<double> readingSpread(const std::vector<double>& values);

} // namespace qvr::dose
