#pragma once
// The release of a job: approved, or returned with a reason, by someone other than everyone
// who read its dosimeters. A training job is never approved.

#include "dose/core/Job.h"
#include "dose/core/Record.h"
#include "dose/core/Signature.h"

#include <optional>
#include <vector>

namespace qvr::dose {

struct Review {
    qint64 id = 0;
    QString jobId;
    bool approved = false; // else returned
    QString reason;        // required when returned
    QString chainHead;     // the chain's newest hash the reviewer saw
    QString reviewer;
    QDateTime createdAt;
    // The reviewer's signature; none on reviews made before reviews were signed.
    std::optional<Signature> signature;

    QString canonical() const;
};

// The signature's meaning for this decision.
QString reviewMeaning(bool approved);

// Why reviewer may not give this review of job, or nothing. reviews: the job's earlier ones.
std::optional<QString> reviewRefusal(const Job& job, const std::vector<Record>& allVersions,
                                     const std::vector<Review>& reviews, const Review& review);

} // namespace qvr::dose
