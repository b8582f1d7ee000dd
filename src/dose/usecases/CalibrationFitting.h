#pragma once
// A calibration fitted with a chosen model, or the one auto offers, judged by the lab's
// minimums and stored, accepted or not. An accepted fit is signed by whoever fitted it: its
// doses are released on their word; a rejected one is kept unsigned as a record of what was
// tried.

#include "dose/usecases/Signer.h"

namespace qvr::dose {

struct FitRequest {
    qint64 calibrationId = 0;
    std::optional<Model> model; // none: auto
    bool weighted = true;       // by the film-to-film spread at each dose; false: the old fit
    QString operatorName;
    QStringList exclude; // films left out: dosimeter ids, or "#7" for point 7
    QString exclusionReason;
};

struct StoredFit {
    Fit fit; // with its id
    Calibration calibration;
    QString chainHead;
};

Outcome<StoredFit> fitAndStore(Store& store, Signer& signer, const FitRequest& request);

// "fit 3 of calibration 1: power, 16 points, calibrated range 1 to 50 kGy"
QString fitSummary(const Fit& fit);

} // namespace qvr::dose
