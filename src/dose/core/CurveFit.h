#pragma once
// A calibration function fitted to weighted points by least squares: polynomials through a
// centred and scaled response, so that clustered or tiny responses stay well conditioned; the
// power law by Levenberg-Marquardt from the log-log straight line.

#include "dose/core/Fit.h"

#include <vector>

namespace qvr::dose {

struct WeightedPoint {
    double k, dose, weight;
};

// Fills fit's coefficients and covariance (scaled by the residual variance) and rss, the
// weighted residual sum of squares; false when the problem has no unique solution.
bool fitCurve(const std::vector<WeightedPoint>& points, Model model, double kLo, double kHi,
              Fit& fit, double& rss);

} // namespace qvr::dose
