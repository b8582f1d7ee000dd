// Later versions of calibrations and batches: each a row of its own, applied when read.

#include "dose/core/RecordTexts.h"
#include "dose/store/StoreInternals.h"

namespace qvr::dose {

Outcome<std::vector<Amendment>> amendmentsOf(const Store::Private& d, const QString& subject,
                                             const QString& subjectId) {
    std::vector<Amendment> out;
    if (!d.has(amendmentTable()))
        return out;
    const QString where = subjectId.isNull() ? QStringLiteral("subject = ?")
                                             : QStringLiteral("subject = ? AND subject_id = ?");
    const QVariantList values =
        subjectId.isNull() ? QVariantList{subject} : QVariantList{subject, subjectId};
    auto r = d.forEach(amendmentTable(), where, values,
                       [&](const RowValues& row) { out.push_back(amendmentOf(row)); });
    if (!r)
        return Failure{r.error()};
    return out;
}

Outcome<Receipt> Store::amend(Amendment a) {
    if (auto texts = acceptTexts(a); !texts)
        return Failure{texts.error()};
    if (a.subject != kCalibrationSubject && a.subject != kBatchSubject)
        return Failure{QStringLiteral("only a calibration or a batch takes a new version")};
    return writeRow(*d_, [&]() -> Outcome<NewRow> {
        if (!d_->has(amendmentTable()))
            return Failure{QStringLiteral("the dose database %1 is at schema version %2, which "
                                          "keeps no later versions: db migrate")
                               .arg(d_->location, QString::number(d_->version))};
        std::optional<Batch> batch;
        if (a.subject == kCalibrationSubject) {
            bool number = false;
            const qint64 id = a.subjectId.toLongLong(&number);
            auto c = number ? calibration(id)
                            : Outcome<Calibration>(
                                  Failure{QStringLiteral("no calibration %1").arg(a.subjectId)});
            if (!c)
                return Failure{c.error()};
            a.version = c->version + 1;
        } else {
            auto b = this->batch(a.subjectId);
            if (!b)
                return Failure{b.error()};
            a.subjectId = b->id; // as stored, however it was typed
            a.version = b->version + 1;
            batch = *b;
        }
        if (auto why = amendmentRefusal(a, batch ? &*batch : nullptr))
            return Failure{*why};
        auto id = nextRowId(*d_, amendmentTable().name);
        if (!id)
            return Failure{id.error()};
        a.id = *id;
        a.createdAt = now_();
        return NewRow{&amendmentTable(), rowOf(a), QStringLiteral("amendment %1").arg(*id),
                      a.canonical(), a.version};
    });
}

} // namespace qvr::dose
