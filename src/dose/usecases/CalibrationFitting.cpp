#include "dose/usecases/CalibrationFitting.h"

#include "dose/core/Canonical.h"
#include "dose/core/Fitting.h"

namespace qvr::dose {

Outcome<StoredFit> fitAndStore(Store& store, Signer& signer, const FitRequest& request) {
    const qint64 id = request.calibrationId;
    FitOptions options;
    for (const QString& e : request.exclude)
        options.exclude << e.trimmed();
    options.exclusionReason = request.exclusionReason.trimmed();
    if (!options.exclude.isEmpty() && options.exclusionReason.isEmpty())
        return Failure{QStringLiteral("say why the films are left out")};
    auto c = store.calibration(id);
    if (!c)
        return Failure{c.error()};
    auto lab = store.labSettings();
    if (!lab)
        return Failure{lab.error()};
    options.criteria = lab->criteria;
    Outcome<Fit> f = request.model ? fitCalibration(*c, *request.model, request.weighted, options)
                                   : chooseFit(*c, request.weighted, options);
    if (!f)
        return Failure{QStringLiteral("calibration %1 cannot be fitted: %2")
                           .arg(QString::number(id), f.error())};
    f->operatorName = request.operatorName;
    if (f->acceptance.accepted) {
        auto signature = signer.sign(request.operatorName, acceptedCalibrationMeaning(),
                                     QStringLiteral("accept a %1 fit of calibration %2")
                                         .arg(modelName(f->model), QString::number(id)));
        if (!signature)
            return Failure{signature.error()};
        f->signature = *signature;
    }
    auto r = store.addFit(*f);
    if (!r)
        return Failure{r.error()};
    f->id = r->id;
    return StoredFit{*f, *c, r->hash};
}

QString fitSummary(const Fit& f) {
    return QStringLiteral(
               "fit %1 of calibration %2: %3%4, %5 points, calibrated range %6 to %7 kGy")
        .arg(QString::number(f.id), QString::number(f.calibrationId), modelName(f.model),
             f.weighted ? QStringLiteral(" (weighted)") : QString(),
             QString::number(f.residualsPercent.size()), numberText(f.doseLo),
             numberText(f.doseHi));
}

} // namespace qvr::dose
