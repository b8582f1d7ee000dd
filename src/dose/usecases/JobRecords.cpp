#include "dose/usecases/JobRecords.h"

namespace qvr::dose {

Outcome<JobRecords> jobRecords(Store& store, const QString& jobId) {
    auto job = store.job(jobId);
    if (!job)
        return Failure{job.error()};
    auto records = store.records(job->id);
    if (!records)
        return Failure{records.error()};
    JobRecords out{std::move(*job), std::move(*records), std::nullopt};
    if (out.job.routine()) {
        auto study = store.mappingStudy(out.job.studyId);
        if (!study)
            return Failure{study.error()};
        out.routine = summarizeRoutine(out.job, *study, out.records);
    }
    return out;
}

bool supersededAt(const std::vector<Record>& all, size_t i) {
    return i + 1 < all.size() && all[i + 1].id == all[i].id;
}

} // namespace qvr::dose
