#include "dose/usecases/RecordCorrection.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"
#include "dose/core/DualRecord.h"
#include "dose/core/Quantity.h"

namespace qvr::dose {

namespace {

// Both doses of a film read at both wavelengths again, through the calibrations that gave them.
Outcome<Record> reevaluateDual(Store& store, Record next, const Job& job,
                               const Calibration& calibration, const Fit& fit) {
    auto secondFit = store.fit(next.second->fitId);
    if (!secondFit)
        return Failure{secondFit.error()};
    auto secondCalibration = store.calibration(next.second->calibrationId);
    if (!secondCalibration)
        return Failure{secondCalibration.error()};
    evaluateDualRecord(next, job, calibration, fit, *secondCalibration, *secondFit);
    return next;
}

} // namespace

Outcome<Corrected> correctRecord(Store& store, const Correction& c) {
    if (auto why = gaugeRefusal(c.thicknessUm, c.uThicknessUm))
        return Failure{*why};
    const QString reason = c.reason.trimmed();
    if (reason.isEmpty())
        return Failure{QStringLiteral("say why the record is corrected")};
    Fit used;
    auto r = store.correctRecord(c.recordId, [&](const Record& latest) -> Outcome<Record> {
        auto fit = store.fit(latest.fitId);
        if (!fit)
            return Failure{fit.error()};
        used = *fit;
        auto job = store.job(latest.jobId);
        if (!job)
            return Failure{job.error()};
        auto calibration = store.calibration(latest.calibrationId);
        if (!calibration)
            return Failure{calibration.error()};
        if (!c.thicknessConfirmed) {
            auto batch = store.batch(latest.batchId);
            if (!batch)
                return Failure{batch.error()};
            if (auto why = thicknessNeedsConfirming(c.thicknessUm, batch->thicknessUm))
                return Failure{*why};
        }
        Record next = latest;
        next.thicknessUm = c.thicknessUm;
        next.thicknessMeasured = true;
        if (c.uThicknessUm)
            next.uThicknessUm = *c.uThicknessUm;
        next.reason = reason;
        next.operatorName = c.operatorName;
        if (!next.second) {
            evaluateRecord(next, *fit, *job, *calibration);
            return next;
        }
        return reevaluateDual(store, next, *job, *calibration, *fit);
    });
    if (!r)
        return Failure{r.error()};
    auto stored = store.record(c.recordId);
    if (!stored)
        return Failure{stored.error()};
    return Corrected{*stored, r->hash, used};
}

QString correctedText(const Corrected& corrected) {
    const Record& r = corrected.record;
    return QStringLiteral("record %1 v%2: thickness %3 µm, %4 (reason: %5)")
        .arg(QString::number(r.id), QString::number(r.version), numberText(r.thicknessUm),
             recordResultText(r, &corrected.fit), r.reason);
}

} // namespace qvr::dose
