#pragma once
// A job's result per dosimeter: the mean of its valid reads (latest versions, within the
// calibrated range) with n, and the decision against the job's limits.
//
// Decision rule (stated on every report): a dosimeter passes when D - U >= Dmin and
// D + U <= Dmax, fails when D + U < Dmin or D - U > Dmax, and is undecided otherwise (the limit
// lies within its uncertainty). U of the mean is the mean of the reads' U: the reads share the
// calibration, so averaging does not shrink the dominant components.

#include "dose/core/Job.h"
#include "dose/core/LinkState.h"
#include "dose/core/Record.h"

#include <vector>

namespace qvr::dose {

enum class Decision { Pass, Fail, Undecided, NoLimits, NoValidRead };

struct DosimeterSummary {
    QString dosimeter;
    int reads = 0; // every read, valid or not
    int n = 0;     // valid reads in the mean
    double dose = 0;
    double expanded = 0;
    QStringList flags; // the union of the reads' flags
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

Decision decide(double dose, double expanded, const Job& job);
JobSummary summarize(const Job& job, const std::vector<Record>& allVersions);

QString decisionWords(Decision decision); // "pass", "fail", ...
QString decisionRule(const Job& job);     // the rule in words with the job's limits
Tone recordTone(const Record& record);    // a read's colour: valid and within limits, ...
Tone decisionTone(Decision decision);

} // namespace qvr::dose
