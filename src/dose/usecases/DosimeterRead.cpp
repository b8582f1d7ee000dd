#include "dose/usecases/DosimeterRead.h"

#include "dose/core/Quantity.h"
#include "dose/core/ReadingPeriod.h"
#include "dose/core/TextRules.h"
#include "dose/usecases/DualRead.h"
#include "dose/usecases/UsableCalibration.h"

namespace qvr::dose {

Outcome<DosimeterRead> readDosimeter(Store& store, ReaderSource& reader, const ReadRequest& req,
                                     const Now& now) {
    // Before the reader is asked: a dosimeter that cannot be recorded is not read.
    const auto dosimeter = acceptId(QStringLiteral("dosimeter id"), req.dosimeter.trimmed());
    if (!dosimeter)
        return Failure{dosimeter.error()};
    if (req.readings < 1)
        return Failure{QStringLiteral("a read takes at least one reading")};
    if (auto why = gaugeRefusal(req.thicknessUm, req.uThicknessUm))
        return Failure{*why};
    auto job = store.job(req.jobId);
    if (!job)
        return Failure{job.error()};
    if (job->bothWavelengths)
        return readBothWavelengths(store, reader, req, *job, *dosimeter, now);
    auto use = usableCalibration(store, req.calibrationId, now().date());
    if (!use)
        return Failure{use.error()};
    if (req.thicknessUm && !req.thicknessConfirmed)
        if (auto why = thicknessNeedsConfirming(*req.thicknessUm, use->batch.thicknessUm))
            return Failure{*why};

    const ReadingContext context{job->training, use->calibration.wavelengthNm,
                                 use->calibration.headSerial};
    auto items = reader.items();
    if (!items)
        return Failure{items.error()};
    if (auto why = refusal(*items, context))
        return Failure{*why};
    if (auto why = readerCheckRefusal(store, *job, use->calibration, now()))
        return Failure{*why};
    if (auto why = traceabilityRefusal(*job, use->calibration))
        return Failure{*why};
    ReadingPeriod period;
    period.begin(*items);
    Record rec;
    for (int i = 0; i < req.readings; ++i) {
        items = reader.nextReading(req.timeoutMs);
        if (!items)
            return Failure{items.error()};
        if (auto broken = period.broken(*items))
            return Failure{
                QStringLiteral("%1 before reading %2 of %3: the readings are discarded "
                               "and nothing is recorded; read the film again")
                    .arg(*broken, QString::number(i + 1), QString::number(req.readings))};
        if (auto why = refusal(*items, context))
            return Failure{QStringLiteral("reading %1: %2").arg(QString::number(i + 1), *why)};
        auto a = servedAbsorbance(items->value(QStringLiteral("A")).toString());
        if (!a)
            return Failure{QStringLiteral("reading %1: %2").arg(QString::number(i + 1), a.error())};
        rec.readings.push_back({now(), *a});
    }
    rec.jobId = job->id;
    rec.dosimeter = *dosimeter;
    rec.irradiatedAt = req.irradiatedAt;
    takeCalibration(rec, *use);
    rec.simulated = items->value(QStringLiteral("Simulated")).toBool();
    rec.readAt = rec.readings.back().at;
    rec.zeroText = items->value(QStringLiteral("lblZero")).toString();
    rec.thicknessMeasured = req.thicknessUm.has_value();
    rec.thicknessUm = req.thicknessUm.value_or(use->batch.thicknessUm);
    rec.uThicknessUm = req.uThicknessUm.value_or(use->batch.uThicknessUm);
    rec.operatorName = req.operatorName;
    rec.comment = req.comment;
    auto r = store.addRecord(rec, [&](Record& r) {
        evaluateRecord(r, use->fit, *job, use->calibration);
        rec = r;
    });
    if (!r)
        return Failure{r.error()};
    return DosimeterRead{rec, use->fit, r->hash, {}};
}

} // namespace qvr::dose
