#include "dose/usecases/JobReview.h"

namespace qvr::dose {

Outcome<Receipt> reviewJob(Store& store, Signer& signer, Review review) {
    if (!review.approved && review.reason.trimmed().isEmpty())
        return Failure{QStringLiteral("say why the job is returned")};
    auto refusal = store.reviewRefusalNow(review);
    if (!refusal)
        return Failure{refusal.error()};
    if (*refusal)
        return Failure{**refusal};
    const QString act =
        QStringLiteral("%1 job %2")
            .arg(review.approved ? QStringLiteral("approve") : QStringLiteral("return"),
                 review.jobId);
    auto signature = signer.sign(review.reviewer, reviewMeaning(review.approved), act);
    if (!signature)
        return Failure{signature.error()};
    review.signature = *signature;
    return store.addReview(review);
}

QString reviewText(const Review& r) {
    return QStringLiteral("job %1 %2 by %3")
        .arg(r.jobId, r.approved ? QStringLiteral("approved") : QStringLiteral("returned"),
             r.reviewer);
}

QString reviewSignatureText(const Review& r) {
    return r.signature ? signatureText(*r.signature) : unsignedText(r.reviewer);
}

} // namespace qvr::dose
