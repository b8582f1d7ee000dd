#pragma once
// Calibrations made up for the dose tests: responses given directly (A0 = 0, t = 1 mm, so
// k = A), or a published-looking film calibration with replicates.

#include "dose/core/Calibration.h"

#include <cmath>
#include <random>
#include <vector>

namespace qvr::dose::test {

inline Calibration calibrationOf(const std::vector<double>& k, const std::vector<double>& dose,
                                 double uDosePercent = 1.2) {
    Calibration c;
    c.id = 1;
    c.a0 = 0;
    for (size_t i = 0; i < k.size(); ++i)
        c.points.push_back({QString(), dose[i], uDosePercent, k[i], 1000});
    return c;
}

// The dose levels of a calibration from 1 to 50 kGy: five or more per factor of ten.
inline const std::vector<double> kFilmLevels{1, 1.5, 2.5, 4, 7, 12, 20, 30, 50};

// 9 levels from 1 to 50 kGy, 4 films each, D = 0.35 k^1.25 with 1.2 % film-to-film spread.
inline Calibration filmCalibration(unsigned seed = 7) {
    std::mt19937 random(seed);
    std::normal_distribution<double> spread(0, 0.012), gauge(50, 0.8);
    Calibration c;
    c.id = 1;
    c.a0 = 0.12;
    for (double d : kFilmLevels)
        for (int r = 0; r < 4; ++r) {
            const double k = std::pow(d / 0.35, 1 / 1.25) * (1 + spread(random));
            const double t = gauge(random);
            c.points.push_back({QString(), d, 1.2, c.a0 + k * t / 1000, t});
        }
    return c;
}

} // namespace qvr::dose::test
