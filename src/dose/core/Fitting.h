#pragma once
// Fitting a calibration function to a calibration's points, and choosing among the models.
//
// Ordinary least squares over every replicate point (weighted by the reference dose
// uncertainty when asked); polynomials through a centred and scaled response so that clustered
// or tiny responses stay well conditioned; the power law by Levenberg-Marquardt from the
// log-log straight line. A fit is refused, saying why, when there are too few dose levels or
// points for the model, when the mean response does not increase with dose, or when the fitted
// curve does not increase over the calibrated range.

#include "dose/core/Calibration.h"
#include "dose/core/Fit.h"
#include "dose/core/Outcome.h"

namespace qvr::dose {

Outcome<Fit> fitCalibration(const Calibration& calibration, Model model, bool weighted);

// Fits every model and offers the one with the fewest parameters whose RMS residual is within
// 0.5 percentage points of the best; Fit::choice says why.
Outcome<Fit> chooseFit(const Calibration& calibration, bool weighted);

inline constexpr double kChoiceMarginPercent = 0.5;

} // namespace qvr::dose
