#pragma once
// Whether a calibration fit may give doses, judged when it is made: enough dose levels across
// the range and films at each, a lack-of-fit F-test of the model against the replicates' pure
// error, no point far from the curve for the scatter expected at its dose, and films far from
// their level's others named for investigation (Grubbs), never dropped.

#include "dose/core/Reproducibility.h"

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

namespace qvr::dose {

// The lab's minimums (a lab-wide setting that may raise, never lower, these defaults).
struct AcceptanceCriteria {
    int minLevels = 5;
    int levelsPerDecade = 5; // dose levels per factor of ten of the calibrated range
    int minReplicates = 3;   // films at each dose level
    bool operator==(const AcceptanceCriteria&) const = default;
};
inline constexpr AcceptanceCriteria kLeastCriteria{};

inline constexpr double kLackOfFitAlpha = 0.01; // the model is rejected at p below this
inline constexpr double kGrubbsAlpha = 0.01;    // a film is suspected at 99 % within its level
inline constexpr double kResidualRejectSd = 4;  // a point this many sd from the curve rejects it
inline constexpr double kResidualInvestigateSd = 3; // ... and from this many it is listed

// How far one film's dose scatters about its level's reference dose, as the tests expect it
// at each level: the reproducibility model of the replicates through the level's elasticity
// (one pooled relative figure for fits made before the model).
struct PureError {
    double relative = 0; // pooled standard deviation as a fraction of the dose
    int dof = 0;
    Reproducibility model;              // of the response
    std::map<double, double> sdAtLevel; // kGy, by level dose; none: relative x dose
    double sdAt(double doseKGy) const {
        const auto it = sdAtLevel.find(doseKGy);
        return it != sdAtLevel.end() ? it->second : relative * doseKGy;
    }
};

struct Acceptance {
    bool accepted = false;
    QStringList rejections;  // why not, one sentence each
    QStringList outliers;    // films suspected by Grubbs' test, by dosimeter id ("#7": point 7)
    QStringList investigate; // films beyond kResidualInvestigateSd from the curve
    std::optional<double> lackOfFitF, lackOfFitP; // none when the test could not be made
    int lackOfFitDof = 0;                         // dose levels - parameters
    int pureErrorDof = 0;                         // films - dose levels
    double pureErrorPercent = 0;                  // PureError::relative in percent
    AcceptanceCriteria criteria;                  // the minimums it was judged by
};

// Dose levels the criteria ask for over the range lo..hi kGy.
int levelsNeeded(const AcceptanceCriteria& criteria, double lo, double hi);

QString criteriaText(const AcceptanceCriteria& criteria); // canonical JSON object
std::optional<AcceptanceCriteria> parseCriteria(const QString& json);

} // namespace qvr::dose
