#include "dose/core/Dose.h"

#include "dose/core/Calibration.h"

#include <cmath>

namespace qvr::dose {

double Components::combined() const {
    return std::sqrt(fit * fit + reference * reference + reproducibility * reproducibility +
                     thickness * thickness + reading * reading);
}

DoseResult computeDose(const Fit& fit, const DoseInput& input) {
    DoseResult r;
    r.response = response(input.absorbance, input.a0, input.thicknessUm);
    r.dose = fit.dose(r.response);
    const double d = std::fabs(r.dose);
    const double slope = std::fabs(fit.slope(r.response));
    const double tMm = input.thicknessUm / 1000;
    auto percent = [&](double uDose) { return d > 0 ? 100 * uDose / d : 0.0; };

    r.components.fit = percent(std::sqrt(fit.doseVariance(r.response)));
    r.components.reference = fit.referencePercent;
    // A relative spread of the response becomes a dose uncertainty through the slope.
    r.components.reproducibility =
        percent(slope * std::fabs(r.response) * fit.reproducibilityPercent / 100);
    r.components.thickness =
        percent(slope * std::fabs(r.response) * input.uThicknessUm / input.thicknessUm);
    const double resolution = kReadingResolution / std::sqrt(12.0);
    const double sd = input.readingSd.value_or(0);
    r.components.reading = percent(slope * std::sqrt(resolution * resolution + sd * sd) / tMm);

    r.expanded = kCoverage * d * r.components.combined() / 100;
    r.inRange = r.dose >= fit.doseLo && r.dose <= fit.doseHi;
    return r;
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
