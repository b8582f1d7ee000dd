#include "dose/usecases/UsableCalibration.h"

#include "dose/core/Canonical.h"

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
    auto b = store.batch(c->batchId);
    if (!b)
        return Failure{b.error()};
    if (b->expiredOn(today))
        return Failure{
            QStringLiteral("film batch %1 expired on %2").arg(b->id, dateText(b->expires))};
    return Usable{*c, *f, *b};
}

} // namespace qvr::dose
