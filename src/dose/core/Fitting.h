#pragma once
// Fitting a calibration function to a calibration's points, judging it, and choosing among the
// models.
//
// Least squares over every replicate point (weighted by the reference dose uncertainty when
// asked; see CurveFit.h). A fit is refused, saying why, when there are too few dose levels or
// points for the model, when the mean response does not increase with dose, or when the fitted
// curve does not increase over the calibrated range. A fit that can be made is judged (see
// Acceptance.h) and kept, accepted or not.

#include "dose/core/Acceptance.h"
#include "dose/core/Calibration.h"
#include "dose/core/CalibrationLevels.h"
#include "dose/core/Fit.h"
#include "dose/core/FitJudgement.h"
#include "dose/core/Outcome.h"

namespace qvr::dose {

struct FitOptions {
    QStringList exclude; // points left out: dosimeter ids, or "#7" for point 7
    QString exclusionReason;
    AcceptanceCriteria criteria;
};

Outcome<Fit> fitCalibration(const Calibration& calibration, Model model, bool weighted,
                            const FitOptions& options = {});

// Fits every model and offers the accepted one with the fewest parameters (the lowest RMS
// residual among equals); when none is accepted, the one that would have been offered, judged
// as it is. Fit::choice says why.
Outcome<Fit> chooseFit(const Calibration& calibration, bool weighted,
                       const FitOptions& options = {});

} // namespace qvr::dose
