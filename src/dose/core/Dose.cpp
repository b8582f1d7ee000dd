#include "dose/core/Dose.h"

#include "dose/core/Calibration.h"
#include "dose/core/Canonical.h"
#include "dose/core/Distributions.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qvr::dose {

double Components::combined() const {
    return std::sqrt(fit * fit + reference * reference + reproducibility * reproducibility +
                     thickness * thickness + reading * reading + background * background);
}

namespace {

QString num(double v) {
    return QString::number(v, 'g', 6);
}

DoseResult noDose(DoseResult r, Validity validity, const QString& reason) {
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    r.dose = r.expanded = none;
    r.components = {none, none, none, none, none, none};
    r.inRange = false;
    r.validity = validity;
    r.reason = reason;
    return r;
}

} // namespace

QString validityFlag(Validity validity) {
    switch (validity) {
    case Validity::Valid:
        return QString();
    case Validity::BelowRange:
        return QStringLiteral("below_range");
    case Validity::AboveRange:
        return QStringLiteral("above_range");
    case Validity::NoDose:
        return QStringLiteral("no_dose");
    case Validity::OutsideRange:
        return QStringLiteral("outside_range");
    }
    return QString();
}

DoseResult computeDose(const Fit& fit, const DoseInput& input) {
    DoseResult r;
    r.budget = fit.budget;
    r.response = response(input.absorbance, input.a0, input.thicknessUm);
    if (!std::isfinite(r.response))
        return noDose(r, Validity::NoDose,
                      QStringLiteral("the response is not a number (absorbance %1, A0 %2, "
                                     "thickness %3 um)")
                          .arg(num(input.absorbance), num(input.a0), num(input.thicknessUm)));
    const bool levels = !fit.levelResponses.empty() && !fit.levelDoses.empty();
    const double lo = levels ? fit.levelResponses.front() : fit.responseLo;
    const double hi = levels ? fit.levelResponses.back() : fit.responseHi;
    if (r.response < lo)
        return noDose(r, Validity::BelowRange,
                      QStringLiteral("the response %1 mm-1 is below the mean response of the "
                                     "lowest dose level (%2 mm-1 at %3 kGy)")
                          .arg(num(r.response), num(lo), numberText(fit.doseLo)));
    if (r.response > hi)
        return noDose(r, Validity::AboveRange,
                      QStringLiteral("the response %1 mm-1 is above the mean response of the "
                                     "highest dose level (%2 mm-1 at %3 kGy)")
                          .arg(num(r.response), num(hi), numberText(fit.doseHi)));
    r.dose = fit.dose(r.response);
    if (!std::isfinite(r.dose) || !(fit.slope(r.response) > 0))
        return noDose(r, Validity::NoDose,
                      QStringLiteral("the %1 curve gives no rising, finite dose at a response of "
                                     "%2 mm-1")
                          .arg(modelName(fit.model), num(r.response)));
    const double d = std::fabs(r.dose);
    const double slope = std::fabs(fit.slope(r.response));
    const double tMm = input.thicknessUm / 1000;
    auto percent = [&](double uDose) { return d > 0 ? 100 * uDose / d : 0.0; };

    r.components.fit = percent(std::sqrt(fit.doseVariance(r.response)));
    if (fit.budget >= 2) {
        // Each source once. The calibration's replicate scatter holds the film-to-film spread of
        // gauged films read the same way (gauge, readings, its own background); only what the
        // routine measurement does differently is added. The readings are smoothed by the
        // reader, so their spread counts as that of one reading, never divided by their number.
        Components& c = r.components;
        c.reference = fit.referencePercentAt(d);
        const double elasticity = slope * std::fabs(r.response) / d; // dlnD / dlnk
        c.reproducibility = 100 * elasticity * fit.reproducibility.cvAt(d);
        c.thickness = input.thicknessMeasured || !(input.thicknessUm > 0)
                          ? 0.0
                          : 100 * elasticity * input.uThicknessUm / input.thicknessUm;
        const double sd = input.readingSd.value_or(0);
        const double excess = std::sqrt(std::max(0.0, sd * sd - fit.readerSd * fit.readerSd));
        c.reading = percent(slope * excess / tMm);
        c.background = input.calibrationA0 && input.a0 != *input.calibrationA0
                           ? percent(slope * input.uA0 / tMm)
                           : 0.0;
        // Welch-Satterthwaite over the estimated components; the others are taken as known.
        const double uc = c.combined();
        auto term = [](double u, double dof) { return dof > 0 ? std::pow(u, 4) / dof : 0.0; };
        const double sum =
            term(c.fit, fit.fitDof) + term(c.reproducibility, fit.reproducibility.dofAt(d));
        r.dof = sum > 0 ? std::min(kLargeDof, std::pow(uc, 4) / sum) : kLargeDof;
        r.coverage = coverageFactor(r.dof);
    } else {
        r.components.reference = fit.referencePercent;
        // A relative spread of the response becomes a dose uncertainty through the slope.
        r.components.reproducibility =
            percent(slope * std::fabs(r.response) * fit.reproducibilityPercent / 100);
        r.components.thickness =
            percent(slope * std::fabs(r.response) * input.uThicknessUm / input.thicknessUm);
        const double resolution = kReadingResolution / std::sqrt(12.0);
        const double sd = input.readingSd.value_or(0);
        r.components.reading = percent(slope * std::sqrt(resolution * resolution + sd * sd) / tMm);
        r.coverage = kCoverage;
    }
    r.expanded = r.coverage * d * r.components.combined() / 100;
    if (!std::isfinite(r.expanded) || !std::isfinite(r.dof))
        return noDose(r, Validity::NoDose,
                      QStringLiteral("the uncertainty at a response of %1 mm-1 is not a finite "
                                     "number")
                          .arg(num(r.response)));
    r.inRange = true;
    r.validity = Validity::Valid;
    return r;
}

double coverageFactor(double dof) {
    // From 10^4 on, t differs from the normal distribution's 2 by less than 0.0003.
    if (!(dof < 1e4))
        return kCoverage;
    const double nu = std::max(dof, 1.0), p = (1 - kCoverageProbability) / 2;
    // Every dose asks: Newton's steps on the upper tail from the Cornish-Fisher expansion
    // around the normal's 2 take a few evaluations where bisection takes eighty.
    const double z = kCoverage;
    double t = z + (z * z * z + z) / (4 * nu) +
               (5 * std::pow(z, 5) + 16 * z * z * z + 3 * z) / (96 * nu * nu);
    const double norm = std::exp(std::lgamma((nu + 1) / 2) - std::lgamma(nu / 2)) /
                        std::sqrt(nu * 3.14159265358979323846);
    for (int i = 0; i < 30; ++i) {
        const double density = norm * std::pow(1 + t * t / nu, -(nu + 1) / 2);
        const double step = (studentUpperTail(t, nu) - p) / density;
        t += step;
        if (!std::isfinite(t) || !(t > 0))
            break;
        if (std::fabs(step) <= 1e-12 * t)
            return t;
    }
    return studentUpperQuantile(p, nu);
}

std::optional<double> readingSpread(const std::vector<double>& values) {
    if (values.size() < 3)
        return std::nullopt;
    double mean = 0;
    for (double v : values)
        mean += v;
    mean /= values.size();
    double ss = 0;
    for (double v : values)
        ss += (v - mean) * (v - mean);
    return std::sqrt(ss / (values.size() - 1));
}

} // namespace qvr::dose
