#pragma once
// A job with every version of its records, oldest first, for what shows or exports them.

#include "dose/store/Store.h"

namespace qvr::dose {

struct JobRecords {
    Job job;
    std::vector<Record> records;
};

Outcome<JobRecords> jobRecords(Store& store, const QString& jobId);

// Whether all[i] has a newer version (the versions of one record follow each other).
bool supersededAt(const std::vector<Record>& all, size_t i);

} // namespace qvr::dose
