#include "dose/core/Distributions.h"

#include <cmath>
#include <limits>
#include <map>

namespace qvr::dose {

namespace {

// The continued fraction of I_x(a, b) by the modified Lentz method; converges quickly for
// x < (a + 1) / (a + b + 2).
double betaFraction(double a, double b, double x) {
    constexpr double tiny = 1e-300, eps = 1e-16;
    double c = 1, d = 1 - (a + b) * x / (a + 1);
    if (std::fabs(d) < tiny)
        d = tiny;
    d = 1 / d;
    double h = d;
    for (int m = 1; m <= 10000; ++m) {
        const double m2 = 2.0 * m;
        double aa = m * (b - m) * x / ((a + m2 - 1) * (a + m2));
        for (int half = 0; half < 2; ++half) {
            d = 1 + aa * d;
            if (std::fabs(d) < tiny)
                d = tiny;
            c = 1 + aa / c;
            if (std::fabs(c) < tiny)
                c = tiny;
            d = 1 / d;
            const double step = d * c;
            h *= step;
            if (half == 1 && std::fabs(step - 1) < eps)
                return h;
            aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1));
        }
    }
    return h;
}

} // namespace

double incompleteBeta(double a, double b, double x) {
    if (!(a > 0) || !(b > 0) || !(x >= 0) || !(x <= 1))
        return std::numeric_limits<double>::quiet_NaN();
    if (x == 0 || x == 1)
        return x;
    const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) +
                                  a * std::log(x) + b * std::log1p(-x));
    if (x < (a + 1) / (a + b + 2))
        return front * betaFraction(a, b, x) / a;
    return 1 - front * betaFraction(b, a, 1 - x) / b;
}

double fUpperTail(double f, double d1, double d2) {
    if (!(f > 0))
        return 1;
    if (std::isinf(f))
        return 0;
    return incompleteBeta(d2 / 2, d1 / 2, d2 / (d2 + d1 * f));
}

double studentUpperTail(double t, double nu) {
    if (std::isinf(t))
        return t > 0 ? 0 : 1;
    const double half = incompleteBeta(nu / 2, 0.5, nu / (nu + t * t)) / 2;
    return t >= 0 ? half : 1 - half;
}

double studentUpperQuantile(double p, double nu) {
    if (p == 0.5)
        return 0;
    if (p > 0.5)
        return -studentUpperQuantile(1 - p, nu);
    // P(T > t) = I_x(nu/2, 1/2) / 2 with x = nu / (nu + t^2), which rises with x: bisect in x
    // on a logarithmic scale, where far tails keep their relative precision.
    // 80 halvings of the 708 wide interval leave less than 1e-21 of it: the rounding of x.
    double lo = std::log(std::numeric_limits<double>::min()), hi = 0;
    for (int i = 0; i < 80; ++i) {
        const double mid = (lo + hi) / 2;
        if (incompleteBeta(nu / 2, 0.5, std::exp(mid)) / 2 < p)
            lo = mid;
        else
            hi = mid;
    }
    const double x = std::exp((lo + hi) / 2);
    return std::sqrt(nu * (1 - x) / x);
}

double grubbsCritical(int n, double alpha) {
    // Every level of every fit asks again for the same few values.
    thread_local std::map<std::pair<int, double>, double> known;
    const auto it = known.find({n, alpha});
    if (it != known.end())
        return it->second;
    const double t = studentUpperQuantile(alpha / (2.0 * n), n - 2.0);
    const double g = (n - 1) / std::sqrt(double(n)) * std::sqrt(t * t / (n - 2 + t * t));
    known.emplace(std::make_pair(n, alpha), g);
    return g;
}

} // namespace qvr::dose
