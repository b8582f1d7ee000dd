#include "dose/core/Fitting.h"

#include "dose/core/Canonical.h"
#include "dose/core/Distributions.h"
#include "dose/core/LeastSquares.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace qvr::dose {

namespace {

struct Point {
    double k, dose, weight;
};

struct Level {
    double dose = 0;
    std::vector<double> responses;
    std::vector<size_t> points; // indices into the calibration's points
    double mean() const {
        double s = 0;
        for (double r : responses)
            s += r;
        return s / responses.size();
    }
    double cvPercent() const {
        if (responses.size() < 2)
            return 0;
        const double m = mean();
        double ss = 0;
        for (double r : responses)
            ss += (r - m) * (r - m);
        return 100 * std::sqrt(ss / (responses.size() - 1)) / std::fabs(m);
    }
};

QString num(double v) {
    return QString::number(v, 'g', 6);
}

double binomial(int n, int k) {
    double c = 1;
    for (int i = 1; i <= k; ++i)
        c = c * (n - k + i) / i;
    return c;
}

// Polynomial in x = (k - centre) / half, then back to powers of k.
bool fitPolynomial(const std::vector<Point>& pts, int degree, double kLo, double kHi, Fit& fit,
                   double& rss) {
    const int n = degree + 1;
    const double centre = (kLo + kHi) / 2, half = (kHi - kLo) / 2;
    std::vector<double> a, y;
    for (const Point& p : pts) {
        const double sw = std::sqrt(p.weight), x = (p.k - centre) / half;
        double xp = 1;
        for (int j = 0; j < n; ++j, xp *= x)
            a.push_back(sw * xp);
        y.push_back(sw * p.dose);
    }
    const LinearSolution s = solveLeastSquares(a, y, n);
    if (!s.ok)
        return false;
    rss = s.residualSquares;
    // t[i][j]: coefficient of k^i in ((k - centre) / half)^j.
    std::vector<double> t(n * n, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j; ++i)
            t[i * n + j] = binomial(j, i) * std::pow(-centre, j - i) / std::pow(half, j);
    const double s2 = rss / (pts.size() - n);
    fit.coefficients.assign(n, 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            fit.coefficients[i] += t[i * n + j] * s.x[j];
    fit.covariance.assign(n * n, 0.0);
    for (int i = 0; i < n; ++i)
        for (int l = 0; l < n; ++l) {
            double v = 0;
            for (int j = 0; j < n; ++j)
                for (int m = 0; m < n; ++m)
                    v += t[i * n + j] * s2 * s.inverseNormal[j * n + m] * t[l * n + m];
            fit.covariance[i * n + l] = v;
        }
    return true;
}

double powerSquares(const std::vector<Point>& pts, double a, double b) {
    double ss = 0;
    for (const Point& p : pts) {
        const double r = p.dose - a * std::pow(p.k, b);
        ss += p.weight * r * r;
    }
    return ss;
}

LinearSolution powerStep(const std::vector<Point>& pts, double a, double b, double lambda) {
    std::vector<double> j, r;
    double n0 = 0, n1 = 0;
    for (const Point& p : pts) {
        const double sw = std::sqrt(p.weight), kb = std::pow(p.k, b);
        j.push_back(sw * kb);
        j.push_back(sw * a * kb * std::log(p.k));
        r.push_back(sw * (p.dose - a * kb));
        n0 += j[j.size() - 2] * j[j.size() - 2];
        n1 += j.back() * j.back();
    }
    if (lambda > 0) { // Marquardt's damping, scaled to each column
        j.insert(j.end(), {std::sqrt(lambda * n0), 0.0, 0.0, std::sqrt(lambda * n1)});
        r.insert(r.end(), {0.0, 0.0});
    }
    return solveLeastSquares(j, r, 2);
}

bool fitPower(const std::vector<Point>& pts, Fit& fit, double& rss) {
    std::vector<double> a, y;
    for (const Point& p : pts) {
        a.push_back(1);
        a.push_back(std::log(p.k));
        y.push_back(std::log(p.dose));
    }
    const LinearSolution start = solveLeastSquares(a, y, 2);
    if (!start.ok)
        return false;
    double pa = std::exp(start.x[0]), pb = start.x[1];
    double ss = powerSquares(pts, pa, pb), lambda = 1e-3;
    for (int iter = 0; iter < 500 && lambda < 1e12; ++iter) {
        const LinearSolution step = powerStep(pts, pa, pb, lambda);
        if (!step.ok)
            return false;
        const double na = pa + step.x[0], nb = pb + step.x[1];
        const double nss = powerSquares(pts, na, nb);
        if (std::isfinite(nss) && nss <= ss) {
            const bool converged = std::fabs(step.x[0]) <= 1e-15 * std::fabs(pa) &&
                                   std::fabs(step.x[1]) <= 1e-15 * std::max(1.0, std::fabs(pb));
            pa = na;
            pb = nb;
            const bool flat = ss - nss <= 1e-30 * ss;
            ss = nss;
            lambda = std::max(lambda / 10, 1e-12);
            if (converged || flat)
                break;
        } else {
            lambda *= 10;
        }
    }
    // Comparing sums of squares cannot place the minimum closer than about the square root of
    // the rounding error; undamped Gauss-Newton steps, which solve for the gradient's zero, can.
    double lastStep = HUGE_VAL;
    for (int iter = 0; iter < 20; ++iter) {
        const LinearSolution step = powerStep(pts, pa, pb, 0);
        if (!step.ok)
            break;
        const double size = std::hypot(step.x[0] / pa, step.x[1] / std::max(1.0, std::fabs(pb)));
        if (!(size < lastStep))
            break;
        pa += step.x[0];
        pb += step.x[1];
        lastStep = size;
        if (size <= 1e-16)
            break;
    }
    ss = powerSquares(pts, pa, pb);
    const LinearSolution at = powerStep(pts, pa, pb, 0);
    if (!at.ok)
        return false;
    rss = ss;
    const double s2 = rss / (pts.size() - 2);
    fit.coefficients = {pa, pb};
    fit.covariance.resize(4);
    for (int i = 0; i < 4; ++i)
        fit.covariance[i] = s2 * at.inverseNormal[i];
    return true;
}

} // namespace

QString pointName(const Calibration& calibration, size_t i) {
    const QString id = calibration.points[i].dosimeter;
    return id.isEmpty() ? QStringLiteral("#%1").arg(i + 1) : id;
}

namespace {

// The points a fit uses: every one not excluded, by dose level.
struct Included {
    std::vector<size_t> points;
    std::map<double, Level> levels;
};

Outcome<Included> included(const Calibration& calibration, const QStringList& exclude) {
    std::vector<bool> out(calibration.points.size(), false);
    for (const QString& name : exclude) {
        std::vector<size_t> named;
        for (size_t i = 0; i < calibration.points.size(); ++i)
            if (calibration.points[i].dosimeter == name || QStringLiteral("#%1").arg(i + 1) == name)
                named.push_back(i);
        if (named.empty())
            return Failure{QStringLiteral("calibration %1 has no point %2 to exclude")
                               .arg(calibration.id)
                               .arg(name)};
        if (named.size() > 1) {
            QStringList numbers;
            for (size_t i : named)
                numbers << QStringLiteral("#%1").arg(i + 1);
            return Failure{QStringLiteral("%1 names %2 points of calibration %3; exclude them by "
                                          "number (%4)")
                               .arg(name)
                               .arg(named.size())
                               .arg(calibration.id)
                               .arg(numbers.join(QStringLiteral(", ")))};
        }
        out[named.front()] = true;
    }
    Included in;
    const std::vector<double> k = calibration.responses();
    for (size_t i = 0; i < k.size(); ++i) {
        if (out[i])
            continue;
        in.points.push_back(i);
        Level& level = in.levels[calibration.points[i].doseKGy];
        level.dose = calibration.points[i].doseKGy;
        level.responses.push_back(k[i]);
        level.points.push_back(i);
    }
    return in;
}

bool fitCurve(const std::vector<Point>& pts, Model model, double kLo, double kHi, Fit& fit,
              double& rss) {
    if (model == Model::Power)
        return fitPower(pts, fit, rss);
    return fitPolynomial(pts, parameterCount(model) - 1, kLo, kHi, fit, rss);
}

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

// The pure error: each level's spread of response, made a relative spread of dose through the
// calibration's sensitivity there, taken from the level means themselves (a central difference
// between the neighbouring levels), so that a curve that does not fit cannot widen the very
// scatter it is judged against.
PureError pooledPureError(const std::map<double, Level>& byDose) {
    std::vector<const Level*> levels;
    for (const auto& [dose, level] : byDose)
        levels.push_back(&level);
    PureError pure;
    double ss = 0;
    for (size_t j = 0; j < levels.size() && levels.size() > 1; ++j) {
        const Level* lo = levels[j == 0 ? 0 : j - 1];
        const Level* hi = levels[j + 1 == levels.size() ? j : j + 1];
        const double slope = (hi->dose - lo->dose) / (hi->mean() - lo->mean());
        const int nu = static_cast<int>(levels[j]->responses.size()) - 1;
        const double sd = levels[j]->cvPercent() / 100 * std::fabs(levels[j]->mean());
        const double relative = slope * sd / levels[j]->dose;
        ss += nu * relative * relative;
        pure.dof += nu;
    }
    if (pure.dof > 0)
        pure.relative = std::sqrt(ss / pure.dof);
    return pure;
}

QString percent(double fraction) {
    return QString::number(100 * fraction, 'f', 2);
}

} // namespace

std::vector<double> levelResponses(const Calibration& calibration, const QStringList& excluded) {
    std::vector<double> means;
    if (auto in = included(calibration, excluded))
        for (const auto& [dose, level] : in->levels)
            means.push_back(level.mean());
    return means;
}

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
    const PureError pure = pooledPureError(levels);
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
                                       "the pure error at their dose (%3 % of the dose): %4%5")
                            .arg(far.size())
                            .arg(kResidualRejectSd)
                            .arg(percent(kResidualRejectSd * pure.relative))
                            .arg(far.mid(0, kNamed).join(QStringLiteral(", ")))
                            .arg(more > 0 ? QStringLiteral(" and %1 more").arg(more) : QString());
    }

    // Lack of fit: the same model fitted with each point weighted by the scatter expected at its
    // dose, so that the test's sums of squares are those the fit minimised.
    Fit refit;
    refit.model = fit.model;
    std::vector<Point> pts;
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

    std::vector<Point> pts;
    for (size_t i : in->points) {
        const auto& p = calibration.points[i];
        double w = 1;
        if (weighted) {
            if (!(p.uDosePercent > 0))
                return Failure{QStringLiteral("a weighted fit needs a reference dose uncertainty "
                                              "above 0 for every point (point %1 has %2 %)")
                                   .arg(i + 1)
                                   .arg(num(p.uDosePercent))};
            const double u = p.uDosePercent / 100 * p.doseKGy;
            w = 1 / (u * u);
        }
        pts.push_back({k[i], p.doseKGy, w});
    }
    double kLo = HUGE_VAL, kHi = -HUGE_VAL;
    for (const Point& p : pts) {
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
    for (const Point& p : pts) {
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
    fit.r2 = 1 - rss / ssTot;
    double pooled = 0, dof = 0;
    for (const auto& [dose, level] : byDose) {
        fit.levelDoses.push_back(dose);
        fit.levelCvPercent.push_back(level.cvPercent());
        fit.levelResponses.push_back(level.mean());
        const double nu = static_cast<double>(level.responses.size()) - 1;
        pooled += nu * level.cvPercent() * level.cvPercent();
        dof += nu;
    }
    fit.reproducibilityPercent = dof > 0 ? std::sqrt(pooled / dof) : 0;
    fit.referencePercent = std::sqrt(uRef / pts.size());
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
        return pa != pb ? pa < pb : a.rmsPercent < b.rmsPercent;
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
                         ? QStringLiteral(" and the lowest RMS residual among them")
                         : QString(),
                     all);
        return out;
    }
    const Fit* best = &fits.front();
    for (const Fit& f : fits)
        if (f.rmsPercent < best->rmsPercent)
            best = &f;
    Fit out = *best;
    out.choice = QStringLiteral("no model is accepted (%1); %2, with the lowest RMS residual "
                                "(%3 %), is kept as rejected")
                     .arg(all, modelName(out.model), QString::number(out.rmsPercent, 'f', 2));
    return out;
}

} // namespace qvr::dose
