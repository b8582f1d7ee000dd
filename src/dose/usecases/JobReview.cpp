#include "dose/usecases/JobReview.h"

namespace qvr::dose {

Outcome<Receipt> reviewJob(Store& store, const Review& review) {
    if (!review.approved && review.reason.trimmed().isEmpty())
        return Failure{QStringLiteral("say why the job is returned")};
    return store.addReview(review);
}

QString reviewText(const Review& r) {
    return QStringLiteral("job %1 %2 by %3")
        .arg(r.jobId, r.approved ? QStringLiteral("approved") : QStringLiteral("returned"),
             r.reviewer);
}

} // namespace qvr::dose
