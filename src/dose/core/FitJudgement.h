#pragma once
// Judging a fit by the points of its calibration it did not exclude (Acceptance.h says what is
// asked of it).

#include "dose/core/Acceptance.h"
#include "dose/core/Calibration.h"
#include "dose/core/Fit.h"

namespace qvr::dose {

Acceptance judgeFit(const Calibration& calibration, const Fit& fit,
                    const AcceptanceCriteria& criteria);

} // namespace qvr::dose
