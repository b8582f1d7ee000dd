#pragma once
// A job's result per dosimeter: the mean of the reads that count (latest versions, valid doses
// read within the window with no failed reader check after them) with n, and the decision
// against the job's limits by the job's rule (Decision.h, stated on every report). U of the mean
// is the mean of the reads' U: the reads share the calibration, so averaging does not shrink the
// dominant components. A dosimeter with no read that counts fails only when a read beyond the
// calibrated range breaks a limit conclusively.

#include "dose/core/Decision.h"
#include "dose/core/Job.h"
#include "dose/core/LinkState.h"
#include "dose/core/Record.h"

#include <vector>

namespace qvr::dose {

struct DosimeterSummary {
    QString dosimeter;
    int reads = 0; // every read, valid or not
    int n = 0;     // valid reads in the mean
    double dose = 0;
    double expanded = 0;
    double coverage = 0; // k of the mean: the mean of the reads' k, as U is the mean of their U
    QStringList flags;   // the union of the reads' current flags
    QStringList operators;
    Decision decision = Decision::NoValidRead;
};

struct JobSummary {
    std::vector<DosimeterSummary> dosimeters; // in the order first read
    Decision decision = Decision::NoValidRead;
    QStringList operators; // everyone who read a dosimeter of the job
};

// The newest version of each record, in record order.
std::vector<Record> latestVersions(const std::vector<Record>& allVersions);

JobSummary summarize(const Job& job, const std::vector<Record>& allVersions);

// A read's colour: grey when it does not count, red when it breaks a limit, amber when
// undecided, green otherwise.
Tone recordTone(const Record& record, const Job& job);
Tone decisionTone(Decision decision);

} // namespace qvr::dose
