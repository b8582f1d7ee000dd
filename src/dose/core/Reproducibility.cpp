#include "dose/core/Reproducibility.h"

#include <algorithm>
#include <cmath>

namespace qvr::dose {

std::vector<LevelSpread> levelSpreads(const std::map<double, Level>& byDose) {
    std::vector<const Level*> levels;
    for (const auto& [dose, level] : byDose)
        levels.push_back(&level);
    std::vector<LevelSpread> out;
    for (size_t j = 0; j < levels.size() && levels.size() > 1; ++j) {
        const Level* lo = levels[j == 0 ? 0 : j - 1];
        const Level* hi = levels[j + 1 == levels.size() ? j : j + 1];
        const double slope = (hi->dose - lo->dose) / (hi->mean() - lo->mean());
        const double sd = levels[j]->cvPercent() / 100 * std::fabs(levels[j]->mean());
        const double mean = std::fabs(levels[j]->mean());
        out.push_back({levels[j]->dose, sd / mean,
                       static_cast<int>(levels[j]->responses.size()) - 1,
                       slope * mean / levels[j]->dose});
    }
    return out;
}

double Reproducibility::cvAt(double doseKGy) const {
    if (!byDose || !(doseKGy > 0))
        return a;
    return std::sqrt(a * a + (b / doseKGy) * (b / doseKGy));
}

double Reproducibility::dofAt(double doseKGy) const {
    if (!byDose || !(doseKGy > 0))
        return dof;
    const double x = 1 / (doseKGy * doseKGy), cv2 = a * a + b * b * x;
    const double var = covariance[0] + 2 * covariance[1] * x + covariance[2] * x * x;
    return var > 0 ? std::min<double>(dof, 2 * cv2 * cv2 / var) : dof;
}

Reproducibility pooledReproducibility(const std::vector<LevelSpread>& levels, bool asDose) {
    Reproducibility r;
    double ss = 0;
    for (const LevelSpread& l : levels) {
        const double cv = asDose ? l.cv * l.elasticity : l.cv;
        ss += l.dof * cv * cv;
        r.dof += l.dof;
    }
    if (r.dof > 0)
        r.a = std::sqrt(ss / r.dof);
    return r;
}

Reproducibility fitReproducibility(const std::vector<LevelSpread>& levels) {
    const Reproducibility pooled = pooledReproducibility(levels);
    int used = 0, dof = 0;
    double lo = HUGE_VAL, hi = 0;
    for (const LevelSpread& l : levels)
        if (l.dof > 0 && std::isfinite(l.cv)) {
            ++used;
            dof += l.dof;
            lo = std::min(lo, l.dose);
            hi = std::max(hi, l.dose);
        }
    if (used < 4 || hi < 3 * lo || dof < 4)
        return pooled;
    // A sample variance with nu degrees of freedom has variance 2 sigma^4 / nu: least squares
    // on the variances, weighted by nu / sigma^4 with sigma from the previous pass.
    double a2 = pooled.a * pooled.a, b2 = 0;
    double s11 = 0, s12 = 0, s22 = 0;
    for (int pass = 0; pass < 9; ++pass) {
        double r1 = 0, r2 = 0;
        s11 = s12 = s22 = 0;
        for (const LevelSpread& l : levels) {
            if (!(l.dof > 0) || !std::isfinite(l.cv))
                continue;
            const double x = 1 / (l.dose * l.dose);
            const double model = std::max(a2 + b2 * x, 1e-12);
            const double w = l.dof / (model * model);
            s11 += w;
            s12 += w * x;
            s22 += w * x * x;
            r1 += w * l.cv * l.cv;
            r2 += w * x * l.cv * l.cv;
        }
        const double det = s11 * s22 - s12 * s12;
        if (!(det > 0))
            return pooled;
        if (pass == 8)
            break; // the last pass only weighs the final estimate
        const double na2 = (s22 * r1 - s12 * r2) / det, nb2 = (s11 * r2 - s12 * r1) / det;
        if (!(na2 > 0) || !(nb2 > 0))
            return pooled;
        a2 = na2;
        b2 = nb2;
    }
    Reproducibility r;
    r.a = std::sqrt(a2);
    r.b = std::sqrt(b2);
    r.dof = dof - 1; // two parameters from the levels, one more than the pooled figure
    r.byDose = true;
    // The weights were dof / sigma^4; a variance's own is dof / (2 sigma^4).
    const double det = s11 * s22 - s12 * s12;
    r.covariance[0] = 2 * s22 / det;
    r.covariance[1] = -2 * s12 / det;
    r.covariance[2] = 2 * s11 / det;
    return r;
}

} // namespace qvr::dose
