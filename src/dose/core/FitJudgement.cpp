#include "dose/core/FitJudgement.h"

#include "dose/core/CalibrationLevels.h"
#include "dose/core/Canonical.h"
#include "dose/core/CurveFit.h"
#include "dose/core/Distributions.h"

#include <cmath>

namespace qvr::dose {

namespace {

// Within-level and between-level sums of squares of z, the points' deviations from their
// levels' doses in standard deviations of the expected scatter.
struct Squares {
    double within = 0, between = 0;
};

Squares squares(const std::map<double, Level>& levels, const std::vector<double>& z) {
    Squares s;
    for (const auto& [dose, level] : levels) {
        double mean = 0;
        for (size_t i : level.points)
            mean += z[i];
        mean /= level.points.size();
        for (size_t i : level.points)
            s.within += (z[i] - mean) * (z[i] - mean);
        s.between += level.points.size() * mean * mean;
    }
    return s;
}

// The pure error: the replicates' own spread, as a function of dose for a fit made for the
// budget that models it, pooled for the fits before it.
PureError pureError(const std::map<double, Level>& levels, const Fit& fit) {
    const std::vector<LevelSpread> spreads = levelSpreads(levels);
    const Reproducibility pooled = pooledReproducibility(spreads, true);
    PureError pure;
    pure.relative = pooled.a;
    pure.dof = pooled.dof;
    if (fit.budget >= 2) {
        pure.model = fitReproducibility(spreads);
        for (const LevelSpread& l : spreads)
            pure.sdAtLevel[l.dose] = pure.model.cvAt(l.dose) * l.elasticity * l.dose;
    }
    return pure;
}

QString percent(double fraction) {
    return QString::number(100 * fraction, 'f', 2);
}

} // namespace

Acceptance judgeFit(const Calibration& calibration, const Fit& fit,
                    const AcceptanceCriteria& criteria) {
    Acceptance a;
    a.criteria = criteria;
    auto in = included(calibration, fit.excluded);
    if (!in) {
        a.rejections << in.error();
        return a;
    }
    const auto& levels = in->levels;
    const int m = static_cast<int>(levels.size());
    const int n = static_cast<int>(in->points.size());
    const int params = parameterCount(fit.model);
    if (m == 0) {
        a.rejections << QStringLiteral("the calibration has no points");
        return a;
    }
    const double lo = levels.begin()->first, hi = levels.rbegin()->first;

    const int needed = levelsNeeded(criteria, lo, hi);
    if (m < needed)
        a.rejections << QStringLiteral("%1 dose levels from %2 to %3 kGy; at least %4 are needed "
                                       "(at least %5, and %6 per factor of ten of the range)")
                            .arg(m)
                            .arg(numberText(lo), numberText(hi))
                            .arg(needed)
                            .arg(criteria.minLevels)
                            .arg(criteria.levelsPerDecade);
    QStringList few;
    for (const auto& [dose, level] : levels)
        if (static_cast<int>(level.points.size()) < criteria.minReplicates)
            few << QStringLiteral("%1 at %2 kGy").arg(level.points.size()).arg(numberText(dose));
    if (!few.isEmpty())
        a.rejections << QStringLiteral("at least %1 films are needed at every dose level; there "
                                       "are %2")
                            .arg(criteria.minReplicates)
                            .arg(few.join(QStringLiteral(", ")));

    const std::vector<double> k = calibration.responses();
    std::vector<double> rel(k.size(), 0.0);
    for (size_t i : in->points)
        rel[i] = (fit.dose(k[i]) - calibration.points[i].doseKGy) / calibration.points[i].doseKGy;
    a.pureErrorDof = n - m;
    a.lackOfFitDof = m - params;
    const PureError pure = pureError(levels, fit);
    a.pureErrorPercent = 100 * pure.relative;
    if (!(pure.relative > 0) || !std::isfinite(pure.relative)) {
        a.rejections << QStringLiteral("the replicates show no spread, so the fit cannot be "
                                       "tested against it");
        return a;
    }

    // Each point against the scatter expected at its dose.
    QStringList far;
    for (size_t i : in->points) {
        const double dose = calibration.points[i].doseKGy;
        const double z = rel[i] * dose / pure.sdAt(dose);
        if (std::fabs(z) > kResidualInvestigateSd)
            a.investigate << pointName(calibration, i);
        if (std::fabs(z) > kResidualRejectSd)
            far << QStringLiteral("%1 at %2 kGy (%3 %)")
                       .arg(pointName(calibration, i), numberText(dose), percent(rel[i]));
    }
    if (!far.isEmpty()) {
        constexpr int kNamed = 5;
        const qsizetype more = far.size() - kNamed;
        a.rejections << QStringLiteral("%1 of the curve's points lie further from it than %2 times "
                                       "the pure error at their dose (%3): %4%5")
                            .arg(far.size())
                            .arg(kResidualRejectSd)
                            .arg(pure.model.byDose
                                     ? QStringLiteral("%1 % of the dose at %2 kGy, %3 % at %4 kGy")
                                           .arg(percent(kResidualRejectSd * pure.sdAt(lo) / lo),
                                                numberText(lo),
                                                percent(kResidualRejectSd * pure.sdAt(hi) / hi),
                                                numberText(hi))
                                     : QStringLiteral("%1 % of the dose")
                                           .arg(percent(kResidualRejectSd * pure.relative)))
                            .arg(far.mid(0, kNamed).join(QStringLiteral(", ")))
                            .arg(more > 0 ? QStringLiteral(" and %1 more").arg(more) : QString());
    }

    // Lack of fit: the same model fitted with each point weighted by the scatter expected at its
    // dose, so that the test's sums of squares are those the fit minimised.
    Fit refit;
    refit.model = fit.model;
    std::vector<WeightedPoint> pts;
    double kLo = HUGE_VAL, kHi = -HUGE_VAL;
    for (size_t i : in->points) {
        const double dose = calibration.points[i].doseKGy, sd = pure.sdAt(dose);
        pts.push_back({k[i], dose, 1 / (sd * sd)});
        kLo = std::min(kLo, k[i]);
        kHi = std::max(kHi, k[i]);
    }
    double rss = 0;
    if (a.lackOfFitDof < 1 || !fitCurve(pts, fit.model, kLo, kHi, refit, rss)) {
        a.rejections << QStringLiteral("the lack of fit cannot be tested: %1 needs at least %2 "
                                       "dose levels")
                            .arg(modelName(fit.model))
                            .arg(params + 1);
    } else {
        std::vector<double> z(k.size(), 0.0);
        for (size_t i : in->points) {
            const double dose = calibration.points[i].doseKGy;
            z[i] = (refit.dose(k[i]) - dose) / pure.sdAt(dose);
        }
        const Squares sq = squares(levels, z);
        const double f = (sq.between / a.lackOfFitDof) / (sq.within / a.pureErrorDof);
        const double p = sq.within > 0 ? fUpperTail(f, a.lackOfFitDof, a.pureErrorDof)
                                       : (sq.between > 0 ? 0.0 : 1.0);
        if (std::isfinite(f))
            a.lackOfFitF = f;
        a.lackOfFitP = p;
        if (p < kLackOfFitAlpha)
            a.rejections << QStringLiteral(
                                "%1 does not fit: the dose levels' means lie further from their "
                                "reference doses than the replicates' spread explains "
                                "(lack-of-fit F = %2, p = %3 < %4)")
                                .arg(modelName(fit.model), QString::number(f, 'g', 3),
                                     QString::number(p, 'g', 2))
                                .arg(kLackOfFitAlpha);
    }

    // A film far from its level's others, by Grubbs' test on the responses.
    for (const auto& [dose, level] : levels) {
        const int count = static_cast<int>(level.points.size());
        if (count < 3)
            continue;
        const double mean = level.mean();
        double ss = 0, far = 0;
        size_t farthest = level.points.front();
        for (size_t j = 0; j < level.points.size(); ++j) {
            const double d = level.responses[j] - mean;
            ss += d * d;
            if (std::fabs(d) > far) {
                far = std::fabs(d);
                farthest = level.points[j];
            }
        }
        const double sd = std::sqrt(ss / (count - 1));
        if (sd > 0 && far / sd > grubbsCritical(count, kGrubbsAlpha))
            a.outliers << pointName(calibration, farthest);
    }
    a.accepted = a.rejections.isEmpty();
    return a;
}

} // namespace qvr::dose
