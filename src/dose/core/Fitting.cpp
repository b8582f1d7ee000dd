#include "dose/core/Fitting.h"

#include "dose/core/CalibrationLevels.h"
#include "dose/core/CurveFit.h"

#include <algorithm>
#include <cmath>

namespace qvr::dose {

namespace {

QString num(double v) {
    return QString::number(v, 'g', 6);
}

} // namespace

Outcome<Fit> fitCalibration(const Calibration& calibration, Model model, bool weighted,
                            const FitOptions& options) {
    const QString name = modelName(model);
    const int params = parameterCount(model);
    auto in = included(calibration, options.exclude);
    if (!in)
        return Failure{in.error()};
    const std::vector<double> k = calibration.responses();
    const std::map<double, Level>& byDose = in->levels;
    const int levels = static_cast<int>(byDose.size());
    const int points = static_cast<int>(in->points.size());
    if (levels < params + 1)
        return Failure{QStringLiteral("%1 needs at least %2 dose levels; the calibration has %3")
                           .arg(name)
                           .arg(params + 1)
                           .arg(levels)};
    if (points < params + 2)
        return Failure{QStringLiteral("%1 needs at least %2 points; the calibration has %3")
                           .arg(name)
                           .arg(params + 2)
                           .arg(points)};
    const Level* previous = nullptr;
    for (const auto& [dose, level] : byDose) {
        if (previous && !(level.mean() > previous->mean()))
            return Failure{
                QStringLiteral("the mean response does not increase with dose: %1 "
                               "mm-1 at %2 kGy after %3 mm-1 at %4 kGy")
                    .arg(num(level.mean()), num(dose), num(previous->mean()), num(previous->dose))};
        previous = &level;
    }

    // Weighted: each film by the film-to-film variance expected at its dose, the random part of
    // its error. The reference dose is common to every point and is no weight; with no spread to
    // go by, a constant relative spread is assumed.
    const std::vector<LevelSpread> spreads = levelSpreads(byDose);
    const Reproducibility repro = fitReproducibility(spreads);
    std::map<double, double> elasticity;
    for (const LevelSpread& l : spreads)
        elasticity[l.dose] = l.elasticity;
    std::vector<WeightedPoint> pts;
    for (size_t i : in->points) {
        const auto& p = calibration.points[i];
        double w = 1;
        if (weighted) {
            const double e = elasticity.count(p.doseKGy) ? elasticity[p.doseKGy] : 1.0;
            double cv = repro.cvAt(p.doseKGy) * e;
            if (!(cv > 0) || !std::isfinite(cv))
                cv = 1;
            w = 1 / (cv * p.doseKGy * cv * p.doseKGy);
        }
        pts.push_back({k[i], p.doseKGy, w});
    }
    double kLo = HUGE_VAL, kHi = -HUGE_VAL;
    for (const WeightedPoint& p : pts) {
        kLo = std::min(kLo, p.k);
        kHi = std::max(kHi, p.k);
    }

    Fit fit;
    fit.calibrationId = calibration.id;
    fit.model = model;
    fit.weighted = weighted;
    fit.excluded = options.exclude;
    fit.exclusionReason = options.exclude.isEmpty() ? QString() : options.exclusionReason;
    double rss = 0;
    if (model == Model::Power && !(kLo > 0))
        return Failure{QStringLiteral("power needs every response above 0; the lowest is %1 "
                                      "mm-1")
                           .arg(num(kLo))};
    if (!fitCurve(pts, model, kLo, kHi, fit, rss))
        return Failure{QStringLiteral("%1: the least-squares problem has no unique solution%2")
                           .arg(name, model == Model::Power
                                          ? QString()
                                          : QStringLiteral(" (too few distinct responses)"))};

    // The curve must rise over the whole calibrated range, or one response would give two doses.
    constexpr int kSamples = 2000;
    for (int i = 0; i <= kSamples; ++i) {
        const double at = kLo + (kHi - kLo) * i / kSamples;
        if (!(fit.slope(at) > 0))
            return Failure{QStringLiteral("the fitted %1 curve is not increasing over the "
                                          "calibrated range (slope %2 at %3 mm-1)")
                               .arg(name, num(fit.slope(at)), num(at))};
    }

    const int n = params;
    for (int i = 0; i < n; ++i)
        fit.stdErrors.push_back(std::sqrt(std::max(0.0, fit.covariance[i * n + i])));
    double sumW = 0, meanW = 0, ssTot = 0, sq = 0, uRef = 0;
    for (const WeightedPoint& p : pts) {
        sumW += p.weight;
        meanW += p.weight * p.dose;
    }
    meanW /= sumW;
    for (size_t i = 0; i < calibration.points.size(); ++i) {
        const double dose = calibration.points[i].doseKGy;
        fit.residualsPercent.push_back(100 * (fit.dose(k[i]) - dose) / dose);
    }
    for (size_t j = 0; j < pts.size(); ++j) {
        const size_t i = in->points[j];
        sq += fit.residualsPercent[i] * fit.residualsPercent[i];
        ssTot += pts[j].weight * (pts[j].dose - meanW) * (pts[j].dose - meanW);
        uRef += calibration.points[i].uDosePercent * calibration.points[i].uDosePercent;
    }
    fit.rmsPercent = std::sqrt(sq / pts.size());
    fit.weightedRss = rss;
    fit.fitDof = points - params;
    fit.reproducibility = repro;
    fit.r2 = 1 - rss / ssTot;
    double pooled = 0, dof = 0, readerSs = 0;
    for (const auto& [dose, level] : byDose) {
        double uRefLevel = 0;
        for (size_t i : level.points) {
            uRefLevel += calibration.points[i].uDosePercent;
            readerSs += calibration.points[i].readerSd * calibration.points[i].readerSd;
        }
        fit.levelReferencePercent.push_back(uRefLevel / level.points.size());
        fit.levelDoses.push_back(dose);
        fit.levelCvPercent.push_back(level.cvPercent());
        fit.levelResponses.push_back(level.mean());
        const double nu = static_cast<double>(level.responses.size()) - 1;
        pooled += nu * level.cvPercent() * level.cvPercent();
        dof += nu;
    }
    fit.reproducibilityPercent = dof > 0 ? std::sqrt(pooled / dof) : 0;
    fit.referencePercent = std::sqrt(uRef / pts.size());
    fit.readerSd = std::sqrt(readerSs / pts.size());
    fit.doseLo = byDose.begin()->first;
    fit.doseHi = byDose.rbegin()->first;
    fit.responseLo = kLo;
    fit.responseHi = kHi;
    fit.acceptance = judgeFit(calibration, fit, options.criteria);
    return fit;
}

Outcome<Fit> chooseFit(const Calibration& calibration, bool weighted, const FitOptions& options) {
    std::vector<Fit> fits;
    QStringList refusals, verdicts;
    for (Model m : kModels) {
        Outcome<Fit> f = fitCalibration(calibration, m, weighted, options);
        if (f) {
            verdicts << QStringLiteral("%1 %2").arg(modelName(m), f->acceptance.accepted
                                                                      ? QStringLiteral("accepted")
                                                                      : QStringLiteral("rejected"));
            fits.push_back(*f);
        } else {
            refusals << f.error();
            verdicts << QStringLiteral("%1 cannot be fitted").arg(modelName(m));
        }
    }
    refusals.removeDuplicates();
    if (fits.empty())
        return Failure{QStringLiteral("no model fits: ") + refusals.join(QStringLiteral("; "))};
    // The simplest accepted form: more parameters only let the curve follow the noise and
    // oscillate between the levels.
    auto simpler = [](const Fit& a, const Fit& b) {
        const int pa = parameterCount(a.model), pb = parameterCount(b.model);
        return pa != pb ? pa < pb : a.weightedRss < b.weightedRss;
    };
    const Fit* chosen = nullptr;
    for (const Fit& f : fits)
        if (f.acceptance.accepted && (!chosen || simpler(f, *chosen)))
            chosen = &f;
    const QString all = verdicts.join(QStringLiteral(", "));
    if (chosen) {
        Fit out = *chosen;
        out.choice =
            QStringLiteral("%1 is the accepted model with the fewest parameters (%2)%3; "
                           "%4")
                .arg(modelName(out.model))
                .arg(parameterCount(out.model))
                .arg(std::count_if(fits.begin(), fits.end(),
                                   [&](const Fit& f) {
                                       return f.acceptance.accepted &&
                                              parameterCount(f.model) == parameterCount(out.model);
                                   }) > 1
                         ? QStringLiteral(" and the lowest residual sum of squares among them")
                         : QString(),
                     all);
        return out;
    }
    // Compared as the fits minimised them: the residual variance in the fit's own weighting.
    auto variance = [](const Fit& f) { return f.weightedRss / std::max(1, f.fitDof); };
    const Fit* best = &fits.front();
    for (const Fit& f : fits)
        if (variance(f) < variance(*best))
            best = &f;
    Fit out = *best;
    out.choice = QStringLiteral("no model is accepted (%1); %2, with the lowest residual "
                                "variance (RMS residual %3 %), is kept as rejected")
                     .arg(all, modelName(out.model), QString::number(out.rmsPercent, 'f', 2));
    return out;
}

} // namespace qvr::dose
