#include "dose/usecases/UsableCalibration.h"

#include "dose/core/Canonical.h"
#include "dose/usecases/CalibrationImport.h"

namespace qvr::dose {

Outcome<Usable> usableCalibration(Store& store, qint64 id, const QDate& today) {
    auto c = store.calibration(id);
    if (!c)
        return Failure{c.error()};
    if (c->expiredOn(today))
        return Failure{QStringLiteral("calibration %1 expired on %2; it cannot be used for new "
                                      "results")
                           .arg(QString::number(id), dateText(c->validUntil))};
    auto f = store.latestFit(id);
    if (!f)
        return Failure{f.error()};
    if (!f->acceptance.accepted)
        return Failure{
            QStringLiteral("calibration %1 cannot give doses: its latest fit (fit %2, %3) %4: %5 "
                           "(calibration show %1 says all); a new fit must be accepted first")
                .arg(id)
                .arg(f->id)
                .arg(modelName(f->model),
                     f->judgedWhenFitted ? QStringLiteral("was rejected")
                                         : QStringLiteral("was stored before fits were judged "
                                                          "and does not pass now"),
                     f->acceptance.rejections.value(0))};
    auto b = store.batch(c->batchId);
    if (!b)
        return Failure{b.error()};
    if (b->expiredOn(today))
        return Failure{
            QStringLiteral("film batch %1 expired on %2").arg(b->id, dateText(b->expires))};
    return Usable{*c, *f, *b};
}

std::optional<QString> traceabilityRefusal(const Job& job, const Calibration& calibration) {
    if (job.training)
        return std::nullopt;
    if (auto why = trainingOnlyText(calibration))
        return QStringLiteral("%1, and job %2 is not one").arg(*why, job.id);
    return std::nullopt;
}

std::optional<QString> readerCheckRefusal(Store& store, const Job& job,
                                          const Calibration& calibration, const QDateTime& now) {
    if (job.training)
        return std::nullopt;
    auto checks = store.checks();
    if (!checks)
        return checks.error();
    auto lab = store.labSettings();
    if (!lab)
        return lab.error();
    return checkRefusal(*checks, calibration.headSerial, calibration.wavelengthNm, now, *lab);
}

} // namespace qvr::dose
