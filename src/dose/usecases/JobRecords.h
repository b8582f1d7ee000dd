#pragma once
// A job with every version of its records, oldest first, for what shows or exports them; a
// routine job with its study's approval and ratios, so each read's inferred doses go with it.

#include "dose/core/RoutineJob.h"
#include "dose/store/Store.h"

namespace qvr::dose {

struct JobRecords {
    Job job;
    std::vector<Record> records;
    std::optional<RoutineSummary> routine; // of a routine job
};

Outcome<JobRecords> jobRecords(Store& store, const QString& jobId);

// Whether all[i] has a newer version (the versions of one record follow each other).
bool supersededAt(const std::vector<Record>& all, size_t i);

} // namespace qvr::dose
