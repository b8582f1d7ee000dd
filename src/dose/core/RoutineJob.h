#pragma once
// A routine job: production released on the dose at a monitoring position of an approved
// mapping study. Each valid read at the job gives the product's inferred Dmin and Dmax through
// the study's ratios; the job's decision is the worst of its reads' decisions.

#include "dose/core/JobSummary.h"
#include "dose/core/MappingApproval.h"
#include "dose/core/RoutineInference.h"

namespace qvr::dose {

// Why job may not run under study: the study must be approved, the position one of its
// monitoring positions, and the process parameter the study's: the same unit and the value
// exactly as stored (a process that differs at all was not mapped). The limits are the study's.
std::optional<QString> routineJobRefusal(const Job& job, const MappingStudyRecords& study);

struct RoutineRead {
    qint64 record = 0;
    QString dosimeter;
    double doseKGy = 0, expanded = 0, coverage = 0; // at the monitoring position
    InferredDoses inferred;
};

struct RoutineSummary {
    MappingStudy study;
    MappingApproval approval; // the approval in force
    RatioResult ratio;        // of the job's monitoring position
    DecisionRule rule = DecisionRule::Guarded;
    std::vector<RoutineRead> reads; // latest versions that count, in record order
    Decision decision = Decision::NoValidRead;
};

// What one version of a read infers through the study, or why it infers nothing: only a read
// that counts in a job's mean gives a product's doses.
struct RecordInference {
    std::optional<InferredDoses> inferred;
    QString why; // when there is none
};

RecordInference inferRecord(const Record& record, const RoutineSummary& routine);

RoutineSummary summarizeRoutine(const Job& job, const MappingStudyRecords& study,
                                const std::vector<Record>& allVersions);

} // namespace qvr::dose
