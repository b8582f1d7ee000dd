#pragma once
// The results of a mapping study from its runs.
//
// Per run: Dmin and Dmax with their positions and DUR = Dmax/Dmin. A below-range read makes the
// run's Dmin the bound "< D_low" (an above-range read its Dmax "> D_high").
// Per study: the minimum (maximum) position has the lowest (highest) mean dose over the runs.
// A position belongs to the minimum zone when |mean_p - mean_min| <= k u, u combining the
// standard uncertainties of both means; the uncertainty of a position's mean over n runs is
// sqrt((s^2 + u_r^2) / n), s the run-to-run spread and u_r the root mean square of the reads'
// random standard uncertainties (counted beside s, which holds them too: three runs estimate s
// poorly). The same for the maximum zone.
// Ratios Dmin/Dmon and Dmax/Dmon: per run, then mean and SD over the runs; their standard
// uncertainty for a routine run is sqrt(s^2 + (R u_r)^2), s the run-to-run SD of the ratio and
// u_r the root mean square of sqrt(u_a^2 + u_b^2) over the runs, with u_a, u_b the random
// relative standard uncertainties of the two doses. The systematic part of the dosimetry
// (the reference doses of the calibration) is common to both doses and cancels in a ratio.

#include "dose/core/MappingStudy.h"

#include <QStringList>
#include <optional>

namespace qvr::dose {

inline constexpr double kMappingCoverage = 2;

struct DoseAt {
    QString position;
    double doseKGy = 0;
    double expanded = 0; // U, kGy; 0 for a bound
    bool bound = false;  // "< D_low" for a minimum, "> D_high" for a maximum
};

struct RunResult {
    QString run;
    std::optional<DoseAt> dmin, dmax; // none when the run has no dose at all
    std::optional<double> dur;        // only from two doses
    double uDur = 0;                  // expanded
    QStringList missing;              // positions without a valid dose or bound
};

struct PositionMean {
    QString position;
    int n = 0;        // runs with a dose or bound
    double mean = 0;  // bounds enter with their value
    double sd = 0;    // over the runs; 0 with one
    double uMean = 0; // standard, see above
    bool belowRange = false;
    bool aboveRange = false;
};

struct RatioResult {
    QString monitoring;
    std::vector<double> ratioMin, ratioMax; // per run with both doses valid, in run order
    int runs = 0;
    double meanMin = 0, sdMin = 0, uMin = 0; // uMin, uMax expanded
    double meanMax = 0, sdMax = 0, uMax = 0;
};

struct MappingSummary {
    std::vector<RunResult> runs;
    std::vector<PositionMean> positions; // in the study's order
    std::optional<DoseAt> dmin, dmax;    // the means at the study's minimum and maximum
    std::optional<double> dur;
    double uDur = 0;
    double coverage = kMappingCoverage;
    QStringList minZone, maxZone;
    std::vector<RatioResult> ratios; // one per monitoring position with a ratio in some run
    QStringList blockers;            // why the study cannot be approved; empty: it can
};

MappingSummary summarizeMapping(const MappingStudy& study,
                                const std::vector<MappingPosition>& positions,
                                const std::vector<MappingRun>& runs);

} // namespace qvr::dose
