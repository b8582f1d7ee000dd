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

// Why the gauge's thickness must be confirmed first, or a failure to find the batch.
std::optional<QString> thicknessRefusal(Store& store, const Record& record, const Correction& c) {
    if (c.thicknessConfirmed)
        return std::nullopt;
    auto batch = store.batch(record.batchId);
    if (!batch)
        return batch.error();
    return thicknessNeedsConfirming(c.thicknessUm, batch->thicknessUm);
}

} // namespace

Outcome<Corrected> correctRecord(Store& store, Signer& signer, const Correction& c) {
    if (auto why = gaugeRefusal(c.thicknessUm, c.uThicknessUm))
        return Failure{*why};
    const QString reason = c.reason.trimmed();
    if (reason.isEmpty())
        return Failure{QStringLiteral("say why the record is corrected")};
    auto before = store.record(c.recordId);
    if (!before)
        return Failure{before.error()};
    if (auto why = thicknessRefusal(store, *before, c))
        return Failure{*why};
    auto signature = signer.sign(c.operatorName, correctedMeaning(),
                                 QStringLiteral("correct record %1").arg(c.recordId));
    if (!signature)
        return Failure{signature.error()};
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
        // Another desk may have corrected it since.
        if (auto why = thicknessRefusal(store, latest, c))
            return Failure{*why};
        Record next = latest;
        next.thicknessUm = c.thicknessUm;
        next.thicknessMeasured = true;
        if (c.uThicknessUm)
            next.uThicknessUm = *c.uThicknessUm;
        next.reason = reason;
        next.operatorName = c.operatorName;
        next.signature = *signature;
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
