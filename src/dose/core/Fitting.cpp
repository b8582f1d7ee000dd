#include "dose/core/Fitting.h"

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
    double dose;
    std::vector<double> responses;
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

Outcome<Fit> fitCalibration(const Calibration& calibration, Model model, bool weighted) {
    const QString name = modelName(model);
    const int params = parameterCount(model);
    const std::vector<double> k = calibration.responses();
    std::map<double, Level> byDose;
    for (size_t i = 0; i < k.size(); ++i) {
        Level& level = byDose[calibration.points[i].doseKGy];
        level.dose = calibration.points[i].doseKGy;
        level.responses.push_back(k[i]);
    }
    const int levels = static_cast<int>(byDose.size());
    const int points = static_cast<int>(k.size());
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
    for (size_t i = 0; i < k.size(); ++i) {
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
    const double kLo = *std::min_element(k.begin(), k.end());
    const double kHi = *std::max_element(k.begin(), k.end());

    Fit fit;
    fit.calibrationId = calibration.id;
    fit.model = model;
    fit.weighted = weighted;
    double rss = 0;
    if (model == Model::Power) {
        if (!(kLo > 0))
            return Failure{QStringLiteral("power needs every response above 0; the lowest is %1 "
                                          "mm-1")
                               .arg(num(kLo))};
        if (!fitPower(pts, fit, rss))
            return Failure{QStringLiteral("power: the least-squares problem has no unique "
                                          "solution")};
    } else if (!fitPolynomial(pts, params - 1, kLo, kHi, fit, rss)) {
        return Failure{QStringLiteral("%1: the least-squares problem has no unique solution "
                                      "(too few distinct responses)")
                           .arg(name)};
    }

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
    for (size_t i = 0; i < pts.size(); ++i) {
        const double r = 100 * (fit.dose(pts[i].k) - pts[i].dose) / pts[i].dose;
        fit.residualsPercent.push_back(r);
        sq += r * r;
        ssTot += pts[i].weight * (pts[i].dose - meanW) * (pts[i].dose - meanW);
        uRef += calibration.points[i].uDosePercent * calibration.points[i].uDosePercent;
    }
    fit.rmsPercent = std::sqrt(sq / pts.size());
    fit.r2 = 1 - rss / ssTot;
    double pooled = 0, dof = 0;
    for (const auto& [dose, level] : byDose) {
        fit.levelDoses.push_back(dose);
        fit.levelCvPercent.push_back(level.cvPercent());
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
    return fit;
}

Outcome<Fit> chooseFit(const Calibration& calibration, bool weighted) {
    std::vector<Fit> fits;
    QStringList refusals;
    for (Model m : kModels) {
        Outcome<Fit> f = fitCalibration(calibration, m, weighted);
        if (f)
            fits.push_back(*f);
        else
            refusals << f.error();
    }
    refusals.removeDuplicates();
    if (fits.empty())
        return Failure{QStringLiteral("no model fits: ") + refusals.join(QStringLiteral("; "))};
    const Fit* best = &fits.front();
    for (const Fit& f : fits)
        if (f.rmsPercent < best->rmsPercent)
            best = &f;
    const Fit* chosen = nullptr;
    for (const Fit& f : fits) {
        if (f.rmsPercent > best->rmsPercent + kChoiceMarginPercent)
            continue;
        if (!chosen || parameterCount(f.model) < parameterCount(chosen->model) ||
            (parameterCount(f.model) == parameterCount(chosen->model) &&
             f.rmsPercent < chosen->rmsPercent))
            chosen = &f;
    }
    Fit out = *chosen;
    const QString rms = QString::number(out.rmsPercent, 'f', 2);
    if (chosen == best)
        out.choice = QStringLiteral("%1 has the lowest RMS residual (%2 %), and no model with "
                                    "fewer parameters comes within %3 percentage points of it")
                         .arg(modelName(out.model), rms)
                         .arg(kChoiceMarginPercent);
    else
        out.choice =
            QStringLiteral("%1 has the fewest parameters (%2) among the models whose RMS "
                           "residual is within %3 percentage points of the best (%4, %5 "
                           "%); its own is %6 %")
                .arg(modelName(out.model))
                .arg(parameterCount(out.model))
                .arg(kChoiceMarginPercent)
                .arg(modelName(best->model), QString::number(best->rmsPercent, 'f', 2), rms);
    return out;
}

} // namespace qvr::dose
