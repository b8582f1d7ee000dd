#include "dose/usecases/DosimeterRead.h"

#include "dose/core/Quantity.h"
#include "dose/core/ReadingPeriod.h"
#include "dose/core/TextRules.h"
#include "dose/usecases/DualRead.h"
#include "dose/usecases/UsableCalibration.h"

namespace qvr::dose {

std::optional<QString> readRequestRefusal(const ReadRequest& req) {
    if (auto id = acceptId(QStringLiteral("dosimeter id"), req.dosimeter.trimmed()); !id)
        return id.error();
    if (req.readings < 1)
        return QStringLiteral("a read takes at least one reading");
    return gaugeRefusal(req.thicknessUm, req.uThicknessUm);
}

Outcome<Record> readFilm(Store& store, ReaderSource& reader, const ReadRequest& req,
                         const Usable& use, const ReadSubject& subject, const Now& now) {
    const auto dosimeter = acceptId(QStringLiteral("dosimeter id"), req.dosimeter.trimmed());
    if (!dosimeter)
        return Failure{dosimeter.error()};
    if (req.thicknessUm && !req.thicknessConfirmed)
        if (auto why = thicknessNeedsConfirming(*req.thicknessUm, use.batch.thicknessUm))
            return Failure{*why};
    const ReadingContext context{subject.training, use.calibration.wavelengthNm,
                                 use.calibration.headSerial};
    auto items = reader.items();
    if (!items)
        return Failure{items.error()};
    if (auto why = refusal(*items, context))
        return Failure{*why};
    if (auto why = readerCheckRefusal(store, subject.training, use.calibration, now()))
        return Failure{*why};
    if (auto why = traceabilityRefusal(subject.training, subject.name, use.calibration))
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
    rec.dosimeter = *dosimeter;
    rec.irradiatedAt = req.irradiatedAt;
    takeCalibration(rec, use);
    rec.simulated = items->value(QStringLiteral("Simulated")).toBool();
    rec.readAt = rec.readings.back().at;
    rec.zeroText = items->value(QStringLiteral("lblZero")).toString();
    rec.thicknessMeasured = req.thicknessUm.has_value();
    rec.thicknessUm = req.thicknessUm.value_or(use.batch.thicknessUm);
    rec.uThicknessUm = req.uThicknessUm.value_or(use.batch.uThicknessUm);
    rec.operatorName = req.operatorName;
    rec.comment = req.comment;
    return rec;
}

Outcome<DosimeterRead> readDosimeter(Store& store, ReaderSource& reader, const ReadRequest& req,
                                     const Now& now) {
    // Before the reader is asked: a dosimeter that cannot be recorded is not read.
    if (auto why = readRequestRefusal(req))
        return Failure{*why};
    auto job = store.job(req.jobId);
    if (!job)
        return Failure{job.error()};
    if (job->bothWavelengths) {
        const auto dosimeter = acceptId(QStringLiteral("dosimeter id"), req.dosimeter.trimmed());
        if (!dosimeter)
            return Failure{dosimeter.error()};
        return readBothWavelengths(store, reader, req, *job, *dosimeter, now);
    }
    auto use = usableCalibration(store, req.calibrationId, now().date());
    if (!use)
        return Failure{use.error()};
    auto rec =
        readFilm(store, reader, req, *use, {job->training, QStringLiteral("job ") + job->id}, now);
    if (!rec)
        return Failure{rec.error()};
    rec->jobId = job->id;
    Record stored;
    auto r = store.addRecord(*rec, [&](Record& r) {
        evaluateRecord(r, use->fit, *job, use->calibration);
        stored = r;
    });
    if (!r)
        return Failure{r.error()};
    return DosimeterRead{stored, use->fit, r->hash, {}};
}

} // namespace qvr::dose
