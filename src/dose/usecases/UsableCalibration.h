#pragma once
// The calibration, its latest fit and its film batch, as far as they may give doses today.

#include "dose/store/Store.h"

namespace qvr::dose {

struct Usable {
    Calibration calibration;
    Fit fit;
    Batch batch;
};

// Fails when the calibration or its batch has expired by today, or it has no fit yet.
Outcome<Usable> usableCalibration(Store& store, qint64 id, const QDate& today);

} // namespace qvr::dose
