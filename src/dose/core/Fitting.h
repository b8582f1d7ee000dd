#pragma once
// Fitting a calibration function to a calibration's points, judging it, and choosing among the
// models.
//
// Ordinary least squares over every replicate point (weighted by the reference dose
// uncertainty when asked); polynomials through a centred and scaled response so that clustered
// or tiny responses stay well conditioned; the power law by Levenberg-Marquardt from the
// log-log straight line. A fit is refused, saying why, when there are too few dose levels or
// points for the model, when the mean response does not increase with dose, or when the fitted
// curve does not increase over the calibrated range. A fit that can be made is judged (see
// Acceptance.h) and kept, accepted or not.

#include "dose/core/Acceptance.h"
#include "dose/core/Calibration.h"
#include "dose/core/Fit.h"
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

// Judges fit by the points of calibration it did not exclude.
Acceptance judgeFit(const Calibration& calibration, const Fit& fit,
                    const AcceptanceCriteria& criteria);

// The mean response of each dose level of calibration, ascending, without the excluded points.
std::vector<double> levelResponses(const Calibration& calibration, const QStringList& excluded);

// How point i (from 0) of calibration is named in lists: its dosimeter id, else "#" and its
// number from 1.
QString pointName(const Calibration& calibration, size_t i);

} // namespace qvr::dose
