#include "dose/core/TwoWavelengths.h"

#include "dose/core/CalibrationLevels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace qvr::dose {

namespace {

constexpr int kParts = 6;
using Parts = std::array<double, kParts>;

// Absolute standard uncertainties (kGy), in the order of Components.
Parts absoluteParts(const DoseResult& r) {
    const Components& c = r.components;
    const double scale = std::fabs(r.dose) / 100;
    return {c.fit * scale,       c.reference * scale, c.reproducibility * scale,
            c.thickness * scale, c.reading * scale,   c.background * scale};
}

// The same reference irradiation, the same film and its thickness: fully shared. The readings
// and the zero are taken apart at each wavelength.
Parts correlations(double fitCorrelation) {
    return {std::clamp(fitCorrelation, -1.0, 1.0), 1, 1, 1, 0, 0};
}

// A shared component's degrees of freedom: the fewer of the two; 0 is a known one.
double sharedDof(double a, double b) {
    if (a > 0 && b > 0)
        return std::min(a, b);
    return std::max(a, b);
}

Parts dofs(const WavelengthDose& a, const WavelengthDose& b) {
    return {sharedDof(a.fitDof, b.fitDof),
            0,
            sharedDof(a.reproducibilityDof, b.reproducibilityDof),
            0,
            0,
            0};
}

// Welch-Satterthwaite over the variances of the parts; k from it, or 2 where the budget estimates
// no degrees of freedom.
void coverageOf(const Parts& variances, const Parts& dof, bool estimated, double& k, double& nu) {
    if (!estimated) {
        k = kCoverage;
        nu = 0;
        return;
    }
    double total = 0, sum = 0;
    for (int i = 0; i < kParts; ++i) {
        total += variances[i];
        if (dof[i] > 0)
            sum += variances[i] * variances[i] / dof[i];
    }
    nu = sum > 0 ? std::min(kLargeDof, total * total / sum) : kLargeDof;
    k = coverageFactor(nu);
}

QString kGy(double v) {
    return QString::number(v, 'f', 3);
}

QString nm(const WavelengthDose& w) {
    return QStringLiteral("%1 nm").arg(w.wavelengthNm);
}

DualDose single(DualDose d, const WavelengthDose& used, const WavelengthDose& other,
                DualOutcome outcome) {
    d.outcome = outcome;
    d.dose = used.result.dose;
    d.expanded = used.result.expanded;
    d.coverage = used.result.coverage;
    d.dof = used.result.dof;
    d.weightFirst = outcome == DualOutcome::FirstOnly ? 1 : 0;
    d.components = used.result.components;
    d.note = QStringLiteral("only %1 is within its calibrated range (%2: %3)")
                 .arg(nm(used), nm(other), validityFlag(other.result.validity));
    return d;
}

DualDose noDose(DualDose d, DualOutcome outcome, const QString& note) {
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    d.outcome = outcome;
    d.dose = d.expanded = none;
    d.note = note;
    return d;
}

} // namespace

WavelengthDose doseAtWavelength(int wavelengthNm, const Fit& fit, const DoseInput& input) {
    WavelengthDose w;
    w.wavelengthNm = wavelengthNm;
    w.result = computeDose(fit, input);
    if (w.result.inRange && fit.budget >= 2) {
        w.fitDof = fit.fitDof;
        w.reproducibilityDof = fit.reproducibility.dofAt(std::fabs(w.result.dose));
    }
    return w;
}

double residualCorrelation(const std::vector<double>& first, const std::vector<double>& second) {
    std::vector<std::pair<double, double>> pairs;
    for (size_t i = 0; i < first.size() && i < second.size(); ++i)
        if (std::isfinite(first[i]) && std::isfinite(second[i]))
            pairs.emplace_back(first[i], second[i]);
    if (pairs.size() < 3)
        return 0;
    double ma = 0, mb = 0;
    for (const auto& [a, b] : pairs) {
        ma += a;
        mb += b;
    }
    ma /= pairs.size();
    mb /= pairs.size();
    double saa = 0, sbb = 0, sab = 0;
    for (const auto& [a, b] : pairs) {
        saa += (a - ma) * (a - ma);
        sbb += (b - mb) * (b - mb);
        sab += (a - ma) * (b - mb);
    }
    if (!(saa > 0) || !(sbb > 0))
        return 0;
    return std::clamp(sab / std::sqrt(saa * sbb), -1.0, 1.0);
}

double fitCorrelation(const Calibration& first, const Fit& firstFit, const Calibration& second,
                      const Fit& secondFit) {
    const bool linked = first.id != 0 && second.id != 0 &&
                        (second.sameFilmsAs == first.id || first.sameFilmsAs == second.id);
    const size_t n = first.points.size();
    if (!linked || second.points.size() != n || firstFit.residualsPercent.size() != n ||
        secondFit.residualsPercent.size() != n)
        return 0;
    auto fitted = [n](const Calibration& c, const Fit& f) {
        std::vector<double> r(n, std::numeric_limits<double>::quiet_NaN());
        if (const auto in = included(c, f.excluded))
            for (size_t i : in->points)
                r[i] = f.residualsPercent[i];
        return r;
    };
    return residualCorrelation(fitted(first, firstFit), fitted(second, secondFit));
}

DualDose combineWavelengths(const WavelengthDose& first, const WavelengthDose& second,
                            double fitCorrelation) {
    DualDose d;
    const bool ok1 = first.result.inRange, ok2 = second.result.inRange;
    if (!ok1 && !ok2)
        return noDose(d, DualOutcome::NoDose,
                      QStringLiteral("neither wavelength gives a dose (%1: %2, %3: %4)")
                          .arg(nm(first), validityFlag(first.result.validity), nm(second),
                               validityFlag(second.result.validity)));
    if (!ok2)
        return single(d, first, second, DualOutcome::FirstOnly);
    if (!ok1)
        return single(d, second, first, DualOutcome::SecondOnly);

    const Parts u1 = absoluteParts(first.result), u2 = absoluteParts(second.result);
    const Parts rho = correlations(fitCorrelation);
    const Parts nu = dofs(first, second);
    double v1 = 0, v2 = 0, c = 0;
    Parts difference{};
    for (int i = 0; i < kParts; ++i) {
        v1 += u1[i] * u1[i];
        v2 += u2[i] * u2[i];
        c += rho[i] * u1[i] * u2[i];
        difference[i] = std::max(0.0, u1[i] * u1[i] + u2[i] * u2[i] - 2 * rho[i] * u1[i] * u2[i]);
    }
    const bool estimated = first.result.dof > 0 && second.result.dof > 0;
    d.hasAgreement = true;
    Agreement& a = d.agreement;
    a.difference = first.result.dose - second.result.dose;
    double varDifference = 0;
    for (double part : difference)
        varDifference += part;
    a.uDifference = std::sqrt(varDifference);
    double agreementDof = 0;
    coverageOf(difference, nu, estimated, a.coverage, agreementDof);
    a.expanded = a.coverage * a.uDifference;
    a.consistent = std::fabs(a.difference) <= a.expanded;
    if (!a.consistent)
        return noDose(
            d, DualOutcome::Mismatch,
            QStringLiteral("the doses at %1 and %2 differ by %3 kGy, more than "
                           "k u = %4 kGy")
                .arg(nm(first), nm(second), kGy(std::fabs(a.difference)), kGy(a.expanded)));

    // The best linear unbiased estimate of two correlated doses. Where the shared part exceeds
    // the better dose's own variance it would give it a weight above one, extrapolating beyond
    // both doses on the strength of the assumed correlation: take the better dose alone there.
    const double denominator = v1 + v2 - 2 * c;
    double w1 = denominator > 0 ? (v2 - c) / denominator : (v1 <= v2 ? 1.0 : 0.0);
    w1 = std::clamp(w1, 0.0, 1.0);
    const double w2 = 1 - w1;
    Parts combined{};
    double variance = 0;
    for (int i = 0; i < kParts; ++i) {
        combined[i] = w1 * w1 * u1[i] * u1[i] + w2 * w2 * u2[i] * u2[i] +
                      2 * w1 * w2 * rho[i] * u1[i] * u2[i];
        variance += combined[i];
    }
    d.outcome = DualOutcome::Combined;
    d.weightFirst = w1;
    d.dose = w1 * first.result.dose + w2 * second.result.dose;
    coverageOf(combined, nu, estimated, d.coverage, d.dof);
    const double percent = d.dose != 0 ? 100 / std::fabs(d.dose) : 0;
    auto part = [&](int i) { return std::sqrt(std::max(0.0, combined[i])) * percent; };
    d.components = {part(0), part(1), part(2), part(3), part(4), part(5)};
    d.expanded = d.coverage * std::sqrt(std::max(0.0, variance));
    if (!std::isfinite(d.dose) || !std::isfinite(d.expanded) || !std::isfinite(a.expanded))
        return noDose(d, DualOutcome::NoDose,
                      QStringLiteral("the combination of %1 and %2 is not a finite number")
                          .arg(nm(first), nm(second)));
    d.note = QStringLiteral("%1 and %2 agree (difference %3 kGy, k u = %4 kGy); weighted %5 "
                            "and %6")
                 .arg(nm(first), nm(second), kGy(a.difference), kGy(a.expanded),
                      QString::number(w1, 'f', 2), QString::number(w2, 'f', 2));
    return d;
}

QString consistencyRule() {
    return QStringLiteral(
        "A film read at both wavelengths gives two doses through two calibrations. They agree "
        "when |D1 - D2| <= k u(D1 - D2), where u(D1 - D2) counts the reference dose, the "
        "thickness, the film-to-film reproducibility and, for calibrations made from the same "
        "films, the fits as shared between the two. Agreeing doses are combined with weights "
        "that respect those correlations; doses that disagree are flagged wavelength_mismatch "
        "and give no dose. Where only one wavelength is within its calibrated range, its dose "
        "is used.");
}

} // namespace qvr::dose
