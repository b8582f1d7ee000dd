// Job reviews and reader checks: appended to the chain like every other row.

#include "dose/core/RecordTexts.h"
#include "dose/store/StoreInternals.h"

namespace qvr::dose {

Outcome<Receipt> Store::addReview(Review review) {
    review.createdAt = now_();
    if (auto texts = acceptTexts(review); !texts)
        return Failure{texts.error()};
    return writeRow(*d_, [&]() -> Outcome<NewRow> {
        auto job = this->job(review.jobId);
        if (!job)
            return Failure{job.error()};
        auto records = this->records(review.jobId);
        if (!records)
            return Failure{records.error()};
        auto earlier = reviews(review.jobId);
        if (!earlier)
            return Failure{earlier.error()};
        if (auto why = reviewRefusal(*job, *records, *earlier, review))
            return Failure{*why};
        auto head = headHash();
        if (!head)
            return Failure{head.error()};
        review.chainHead = *head;
        auto id = nextRowId(*d_, reviewTable().name);
        if (!id)
            return Failure{id.error()};
        review.id = *id;
        return NewRow{&reviewTable(), rowOf(review), QStringLiteral("review %1").arg(*id),
                      review.canonical(), *id};
    });
}

Outcome<std::vector<Review>> Store::reviews(const QString& jobId) {
    auto rows = d_->select(reviewTable(), QStringLiteral("job_id = ?"), {jobId});
    if (!rows)
        return Failure{rows.error()};
    std::vector<Review> out;
    for (const RowValues& r : *rows)
        out.push_back(reviewOf(r));
    return out;
}

Outcome<Receipt> Store::addCheck(ReaderCheck check) {
    check.createdAt = now_();
    if (auto texts = acceptTexts(check); !texts)
        return Failure{texts.error()};
    Receipt receipt;
    auto done = writeTransaction(*d_, [&]() -> Outcome<Done> {
        auto id = nextRowId(*d_, checkTable().name);
        if (!id)
            return Failure{id.error()};
        check.id = *id;
        auto r = appendRow(*d_, NewRow{&checkTable(), rowOf(check),
                                       QStringLiteral("reader_check %1").arg(*id),
                                       check.canonical(), *id});
        if (!r)
            return Failure{r.error()};
        receipt = *r;
        // A database of an earlier version is written as that version's program would.
        if (check.passed || d_->version < 3)
            return Done{};
        auto flagged = flagReadsBefore(*this, *d_, check);
        if (!flagged)
            return Failure{flagged.error()};
        // The receipt names the check; the chain's head is the last version added.
        if (!flagged->isEmpty())
            receipt.hash = *flagged;
        return Done{};
    });
    if (!done)
        return Failure{done.error()};
    return receipt;
}

Outcome<std::vector<ReaderCheck>> Store::checks() {
    auto rows = d_->select(checkTable());
    if (!rows)
        return Failure{rows.error()};
    std::vector<ReaderCheck> out;
    for (const RowValues& r : *rows)
        out.push_back(checkOf(r));
    return out;
}

} // namespace qvr::dose
