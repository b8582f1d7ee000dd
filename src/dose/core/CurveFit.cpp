#include "dose/core/CurveFit.h"

#include "dose/core/LeastSquares.h"

#include <cmath>

namespace qvr::dose {

namespace {

double binomial(int n, int k) {
    double c = 1;
    for (int i = 1; i <= k; ++i)
        c = c * (n - k + i) / i;
    return c;
}

// Polynomial in x = (k - centre) / half, then back to powers of k.
bool fitPolynomial(const std::vector<WeightedPoint>& pts, int degree, double kLo, double kHi,
                   Fit& fit, double& rss) {
    const int n = degree + 1;
    const double centre = (kLo + kHi) / 2, half = (kHi - kLo) / 2;
    std::vector<double> a, y;
    for (const WeightedPoint& p : pts) {
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

double powerSquares(const std::vector<WeightedPoint>& pts, double a, double b) {
    double ss = 0;
    for (const WeightedPoint& p : pts) {
        const double r = p.dose - a * std::pow(p.k, b);
        ss += p.weight * r * r;
    }
    return ss;
}

LinearSolution powerStep(const std::vector<WeightedPoint>& pts, double a, double b, double lambda) {
    std::vector<double> j, r;
    double n0 = 0, n1 = 0;
    for (const WeightedPoint& p : pts) {
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

bool fitPower(const std::vector<WeightedPoint>& pts, Fit& fit, double& rss) {
    std::vector<double> a, y;
    for (const WeightedPoint& p : pts) {
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

bool fitCurve(const std::vector<WeightedPoint>& pts, Model model, double kLo, double kHi, Fit& fit,
              double& rss) {
    if (model == Model::Power)
        return fitPower(pts, fit, rss);
    return fitPolynomial(pts, parameterCount(model) - 1, kLo, kHi, fit, rss);
}

} // namespace qvr::dose
