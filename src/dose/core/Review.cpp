#include "dose/core/Review.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

QString Review::canonical() const {
    Canonical c(QStringLiteral("review"));
    c.integer("id", id)
        .text("job", jobId)
        .text("decision", approved ? QStringLiteral("approved") : QStringLiteral("returned"))
        .text("reason", reason)
        .text("chain_head", chainHead)
        .text("reviewer", reviewer)
        .time("created_at", createdAt);
    addSignature(c, signature);
    return c.finish();
}

QString reviewMeaning(bool approved) {
    return approved ? approvedMeaning() : returnedMeaning();
}

std::optional<QString> reviewRefusal(const Job& job, const std::vector<Record>& allVersions,
                                     const std::vector<Review>& reviews, const Review& review) {
    if (review.reviewer.trimmed().isEmpty())
        return QStringLiteral("the reviewer's login name is not known");
    if (review.signature && review.signature->account != review.reviewer)
        return QStringLiteral("%1 cannot sign for %2")
            .arg(review.signature->account, review.reviewer);
    if (review.approved && job.training)
        return QStringLiteral("job %1 is a training job; it cannot be approved").arg(job.id);
    if (allVersions.empty())
        return QStringLiteral("job %1 has no records to review").arg(job.id);
    for (const Record& r : allVersions)
        if (r.operatorName == review.reviewer)
            return QStringLiteral("%1 read or corrected dosimeters of job %2; another login must "
                                  "review it")
                .arg(review.reviewer, job.id);
    if (!review.approved && review.reason.trimmed().isEmpty())
        return QStringLiteral("a returned job needs the reason");
    if (review.approved && !reviews.empty() && reviews.back().approved)
        return QStringLiteral("job %1 is already approved").arg(job.id);
    return std::nullopt;
}

} // namespace qvr::dose
