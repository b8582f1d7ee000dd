#pragma once
// The calibration, its latest fit and its film batch, as far as they may give doses today.

#include "dose/store/Store.h"

namespace qvr::dose {

struct Usable {
    Calibration calibration;
    Fit fit;
    Batch batch;
};

// Fails when the calibration or its batch has expired by today, or it has no fit yet, or its
// latest fit is not accepted.
Outcome<Usable> usableCalibration(Store& store, qint64 id, const QDate& today);

// Why calibration may not serve job: one without a certificate or a valid-until date is not
// traceable, so it serves training jobs only. Nothing when it may.
std::optional<QString> traceabilityRefusal(const Job& job, const Calibration& calibration);

// Why a read for job on calibration's head and wavelength is refused at now for want of a
// passing reader check within the lab's interval, or nothing (always nothing for training).
std::optional<QString> readerCheckRefusal(Store& store, const Job& job,
                                          const Calibration& calibration, const QDateTime& now);

} // namespace qvr::dose
