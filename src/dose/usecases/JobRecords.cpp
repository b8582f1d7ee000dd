#include "dose/usecases/JobRecords.h"

namespace qvr::dose {

Outcome<JobRecords> jobRecords(Store& store, const QString& jobId) {
    auto job = store.job(jobId);
    if (!job)
        return Failure{job.error()};
    auto records = store.records(job->id);
    if (!records)
        return Failure{records.error()};
    return JobRecords{std::move(*job), std::move(*records)};
}

bool supersededAt(const std::vector<Record>& all, size_t i) {
    return i + 1 < all.size() && all[i + 1].id == all[i].id;
}

} // namespace qvr::dose
