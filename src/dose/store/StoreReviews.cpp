// Job reviews, the wrong passwords given to sign, and reader checks: appended to the chain like
// every other row.

#include "dose/core/Canonical.h"
#include "dose/core/RecordTexts.h"
#include "dose/store/StoreInternals.h"

namespace qvr::dose {

namespace {

Failure unsignedSchema(const Store::Private& d) {
    return Failure{QStringLiteral("the dose database %1 is at schema version %2, which keeps no "
                                  "signatures: db migrate")
                       .arg(d.location, QString::number(d.version))};
}

} // namespace

Outcome<std::optional<QString>> Store::reviewRefusalNow(const Review& review) {
    auto job = this->job(review.jobId);
    if (!job)
        return Failure{job.error()};
    auto records = this->records(review.jobId);
    if (!records)
        return Failure{records.error()};
    auto earlier = reviews(review.jobId);
    if (!earlier)
        return Failure{earlier.error()};
    return reviewRefusal(*job, *records, *earlier, review);
}

Outcome<Receipt> Store::addReview(Review review) {
    review.createdAt = now_();
    if (auto texts = acceptTexts(review); !texts)
        return Failure{texts.error()};
    if (review.signature && !d_->has(signingFailureTable()))
        return unsignedSchema(*d_);
    return writeRow(*d_, [&]() -> Outcome<NewRow> {
        auto refusal = reviewRefusalNow(review);
        if (!refusal)
            return Failure{refusal.error()};
        if (*refusal)
            return Failure{**refusal};
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

Outcome<Receipt> Store::addSigningFailure(SigningFailure failure) {
    failure.createdAt = now_();
    if (auto texts = acceptTexts(failure); !texts)
        return Failure{texts.error()};
    return writeRow(*d_, [&]() -> Outcome<NewRow> {
        if (!d_->has(signingFailureTable()))
            return unsignedSchema(*d_);
        auto id = nextRowId(*d_, signingFailureTable().name);
        if (!id)
            return Failure{id.error()};
        failure.id = *id;
        return NewRow{&signingFailureTable(), rowOf(failure),
                      QStringLiteral("signing_failure %1").arg(*id), failure.canonical(), *id};
    });
}

Outcome<std::vector<SigningFailure>> Store::signingFailures(const QString& account) {
    if (!d_->has(signingFailureTable()))
        return unsignedSchema(*d_);
    auto rows = d_->select(signingFailureTable(), QStringLiteral("account = ?"), {account});
    if (!rows)
        return Failure{rows.error()};
    std::vector<SigningFailure> out;
    for (const RowValues& r : *rows)
        out.push_back(signingFailureOf(r));
    return out;
}

Outcome<QDateTime> Store::lastSignature(const QString& account) {
    if (!d_->has(signingFailureTable()))
        return QDateTime();
    // Every signed table, by the column naming who signed its rows.
    const std::pair<const Table*, const char*> signedBy[] = {{&reviewTable(), "reviewer"},
                                                             {&fitTable(), "operator"},
                                                             {&checkTable(), "operator"},
                                                             {&recordTable(), "operator"},
                                                             {&mappingApprovalTable(), "approver"}};
    QDateTime last;
    for (const auto& [table, column] : signedBy) {
        if (!keepsSignatures(*d_, *table))
            continue;
        auto rows = d_->select(
            *table, QStringLiteral("%1 = ? AND signed_at IS NOT NULL").arg(column), {account});
        if (!rows)
            return Failure{rows.error()};
        for (const RowValues& r : *rows)
            if (const QDateTime at = parseTime(field(*table, r, "signed_at").toString());
                !last.isValid() || last < at)
                last = at;
    }
    return last;
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
