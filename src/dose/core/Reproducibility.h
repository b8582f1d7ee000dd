#pragma once
// Film-to-film reproducibility as a function of dose: the relative spread of one film's
// response, CV(D)^2 = a^2 + (b / D)^2, fitted to the spread of each dose level of a
// calibration. Scatter that grows towards low dose (a constant absolute part: reading noise,
// background) is what b carries; a pooled figure cannot follow it. It becomes a spread of dose
// through the curve's elasticity dlnD/dlnk, which grows where the film saturates.

#include "dose/core/CalibrationLevels.h"

#include <map>
#include <vector>

namespace qvr::dose {

// One level's replicate spread.
struct LevelSpread {
    double dose = 0;
    double cv = 0;         // of the response, a fraction
    int dof = 0;           // films - 1
    double elasticity = 1; // dlnD/dlnk there
};

// Each level's relative spread of response, with the calibration's elasticity there taken from
// the level means (a central difference between the neighbouring levels), so that a curve that
// does not fit cannot widen the very scatter it is judged by.
std::vector<LevelSpread> levelSpreads(const std::map<double, Level>& levels);

struct Reproducibility {
    double a = 0;        // fraction of the response
    double b = 0;        // kGy
    int dof = 0;         // degrees of freedom of the estimate
    bool byDose = false; // false: one pooled figure (b = 0)
    // Covariance of the estimates of a^2 and b^2: [var a^2, cov, var b^2] (the dose model only).
    double covariance[3] = {0, 0, 0};
    double cvAt(double doseKGy) const;
    // Degrees of freedom of the CV at a dose, by Satterthwaite: 2 CV^4 / var(CV^2). The low-dose
    // term rests on the few low levels, so its figure has fewer than the model as a whole.
    double dofAt(double doseKGy) const;
    bool operator==(const Reproducibility&) const = default;
};

// The pooled figure: the dof-weighted mean of the level variances (of response; of dose with
// asDose, each level's through its elasticity).
Reproducibility pooledReproducibility(const std::vector<LevelSpread>& levels, bool asDose = false);

// The dose model, fitted to the level variances with their degrees of freedom; the pooled
// figure when the levels cannot support two parameters (fewer than four levels with replicates,
// less than a factor of three of dose between them, or a fit that makes either term negative).
Reproducibility fitReproducibility(const std::vector<LevelSpread>& levels);

} // namespace qvr::dose
