#pragma once
// Whether a stated U covers what it claims: calibrations and routine films simulated from a
// known truth, each calibration fitted and judged as the program does, each film's dose and U
// computed through it, and the share of films whose U covers the true dose counted at each
// dose. It checks that the budget propagates consistently, not that the truth's components are
// the right size.

#include "dose/core/Acceptance.h"
#include "dose/core/Calibration.h"
#include "dose/core/Dose.h"
#include "dose/core/Fit.h"

#include <QtGlobal>
#include <functional>
#include <optional>
#include <vector>

namespace qvr::dose {

// Deterministic normal deviates for a seed, the same on every platform (xoshiro256**, Box-Muller).
class Random {
public:
    explicit Random(quint64 seed);
    double uniform(); // (0, 1)
    double normal();

private:
    quint64 s_[4];
    double spare_ = 0;
    bool hasSpare_ = false;
};

struct SimulatedTruth {
    double a0 = 0;                             // the background every film shares
    std::vector<double> levelDoses;            // the calibration's reference doses
    std::vector<double> levelReferencePercent; // their standard uncertainty, one common error
    int filmsPerLevel = 4;
    std::vector<double> routineDoses;
    int routineFilms = 1; // routine films read at each dose with each simulated calibration
    // A calibration film given the dose it received (its reference dose is set by the caller).
    std::function<CalibrationPoint(double delivered, Random&)> calibrationFilm;
    // A routine film given the dose it received, read as the lab reads it.
    std::function<DoseInput(double delivered, Random&)> routineFilm;
};

struct CoverageAtDose {
    double dose = 0;
    int films = 0;              // valid doses counted
    double coveragePercent = 0; // |D - true| <= U
    double medianUPercent = 0;  // median U, percent of the dose
    double errorSdPercent = 0;  // observed standard deviation of D - true, percent
    double uOverError = 0;      // median U / (2 x observed sd)
    double medianK = 0;
};

struct CoverageReport {
    int calibrations = 0;
    int rejected = 0; // simulated calibrations whose fit was not accepted: not used
    std::vector<CoverageAtDose> levels;
};

// Each simulated calibration is fitted with model, or by choosing among the models (none).
CoverageReport simulateCoverage(const SimulatedTruth& truth, int trials, quint64 seed,
                                bool weighted, const AcceptanceCriteria& criteria = {},
                                std::optional<Model> model = std::nullopt);

// The truth a fit stands for: the fitted curve as the films' true response, its reproducibility
// model as their scatter, its reference dose uncertainties as one common error, and the
// calibration's levels, films and reading spread; routine films at the inner levels.
SimulatedTruth truthOfFit(const Fit& fit, const Calibration& calibration);

} // namespace qvr::dose
