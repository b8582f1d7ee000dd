#include "dose/usecases/UsableCalibration.h"

#include "dose/core/Canonical.h"
#include "dose/usecases/CalibrationImport.h"

namespace qvr::dose {

double Usable::a0() const {
    return batch.a0(calibration.wavelengthNm).value_or(calibration.a0);
}

double Usable::uA0() const {
    return batch.a0(calibration.wavelengthNm) ? batch.uA0(calibration.wavelengthNm) : 0.0;
}

void takeCalibration(Record& rec, const Usable& use) {
    rec.calibrationId = use.calibration.id;
    rec.calibrationVersion = use.calibration.version;
    rec.fitId = use.fit.id;
    rec.batchId = use.batch.id;
    rec.batchVersion = use.batch.version;
    rec.wavelengthNm = use.calibration.wavelengthNm;
    rec.headSerial = use.calibration.headSerial;
    rec.a0 = use.a0();
    rec.uA0 = use.uA0();
}

Outcome<CalibrationWithFit> calibrationWithFit(Store& store, qint64 id) {
    auto c = store.calibration(id);
    if (!c)
        return Failure{c.error()};
    return CalibrationWithFit{*c, store.latestFit(id)};
}

Outcome<CoverageCheckPlan> coverageCheckPlan(Store& store, qint64 id) {
    auto cf = calibrationWithFit(store, id);
    if (!cf)
        return Failure{cf.error()};
    if (!cf->fit)
        return Failure{cf->fit.error()};
    const Fit& f = *cf->fit;
    if (f.budget < 2)
        return Failure{QStringLiteral("fit %1 was made before the budget by dose and states no "
                                      "reproducibility model to simulate: fit calibration %2 "
                                      "again")
                           .arg(f.id)
                           .arg(id)};
    if (f.levelDoses.size() < 3)
        return Failure{QStringLiteral("fit %1 has fewer than three dose levels: no level "
                                      "between them to check at")
                           .arg(f.id)};
    return CoverageCheckPlan{cf->calibration, f};
}

CoverageReport runCoverageCheck(const CoverageCheckPlan& plan, int trials, quint64 seed) {
    const Fit& f = plan.fit;
    // Refitted as this program fits: the stored fit's model, or a choice when it was chosen.
    const std::optional<Model> model =
        f.choice.isEmpty() ? std::optional<Model>(f.model) : std::nullopt;
    return simulateCoverage(truthOfFit(f, plan.calibration), trials, seed, f.weighted,
                            f.acceptance.criteria, model);
}

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
    return traceabilityRefusal(job.training, QStringLiteral("job ") + job.id, calibration);
}

std::optional<QString> traceabilityRefusal(bool training, const QString& subject,
                                           const Calibration& calibration) {
    if (training)
        return std::nullopt;
    if (auto why = trainingOnlyText(calibration))
        return QStringLiteral("%1, and %2 is not one").arg(*why, subject);
    return std::nullopt;
}

std::optional<QString> readerCheckRefusal(Store& store, const Job& job,
                                          const Calibration& calibration, const QDateTime& now) {
    return readerCheckRefusal(store, job.training, calibration, now);
}

std::optional<QString> readerCheckRefusal(Store& store, bool training,
                                          const Calibration& calibration, const QDateTime& now) {
    if (training)
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
