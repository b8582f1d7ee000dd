#pragma once
// The calibration, its latest fit and its film batch, as far as they may give doses today.

#include "dose/core/CoverageSimulation.h"
#include "dose/store/Store.h"

namespace qvr::dose {

struct Usable {
    Calibration calibration;
    Fit fit;
    Batch batch;
    // The background a read uses: the batch's now, which a later version may give again; its
    // uncertainty counts only where it is not the calibration's own.
    double a0() const;
    double uA0() const;
};

// What a read takes from use: the calibration, fit and batch with their versions, and its A0.
void takeCalibration(Record& record, const Usable& use);

// A calibration with its latest fit, or why it has none: what showing and checking it start from.
struct CalibrationWithFit {
    Calibration calibration;
    Outcome<Fit> fit;
};
Outcome<CalibrationWithFit> calibrationWithFit(Store& store, qint64 id);

// What the coverage check of a calibration simulates from: its latest fit, refused when that
// states no reproducibility model or has no inner level to check at.
struct CoverageCheckPlan {
    Calibration calibration;
    Fit fit;
};
Outcome<CoverageCheckPlan> coverageCheckPlan(Store& store, qint64 id);
// Pure and deterministic for a seed: may run off the thread that owns the store.
CoverageReport runCoverageCheck(const CoverageCheckPlan& plan, int trials, quint64 seed);

// Fails when the calibration or its batch has expired by today, or it has no fit yet, or its
// latest fit is not accepted.
Outcome<Usable> usableCalibration(Store& store, qint64 id, const QDate& today);

// Why calibration may not serve job: one without a certificate or a valid-until date is not
// traceable, so it serves training jobs only. Nothing when it may.
std::optional<QString> traceabilityRefusal(const Job& job, const Calibration& calibration);
// The same for a read named subject ("job J", "study S").
std::optional<QString> traceabilityRefusal(bool training, const QString& subject,
                                           const Calibration& calibration);

// Why a read for job on calibration's head and wavelength is refused at now for want of a
// passing reader check within the lab's interval, or nothing (always nothing for training).
std::optional<QString> readerCheckRefusal(Store& store, const Job& job,
                                          const Calibration& calibration, const QDateTime& now);
std::optional<QString> readerCheckRefusal(Store& store, bool training,
                                          const Calibration& calibration, const QDateTime& now);

} // namespace qvr::dose
