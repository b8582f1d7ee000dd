#include "dose/core/RoutineJob.h"

#include "dose/core/Canonical.h"

#include <algorithm>

namespace qvr::dose {

std::optional<QString> routineJobRefusal(const Job& job, const MappingStudyRecords& r) {
    const MappingStudy& s = r.study;
    if (!isApproved(r.approvals))
        return QStringLiteral("study %1 is not approved; a routine job needs an approved study")
            .arg(s.id);
    const auto p =
        std::find_if(r.positions.begin(), r.positions.end(),
                     [&](const MappingPosition& p) { return p.id == job.monitoringPosition; });
    if (p == r.positions.end() || !p->monitoring)
        return QStringLiteral("%1 is not a monitoring position of study %2")
            .arg(job.monitoringPosition, s.id);
    if (job.processUnit != s.processUnit || job.processValue != s.processValue)
        return QStringLiteral("the process %1 %2 is not study %3's %4 %5: a process that was not "
                              "mapped needs a study of its own")
            .arg(numberText(job.processValue), job.processUnit, s.id, numberText(s.processValue),
                 s.processUnit);
    if (job.dminKGy || job.dmaxKGy)
        return QStringLiteral("a routine job is judged against study %1's doses; it takes no "
                              "limits of its own")
            .arg(s.id);
    return std::nullopt;
}

RecordInference inferRecord(const Record& rec, const RoutineSummary& routine) {
    switch (recordValidity(rec)) {
    case Validity::Valid:
        break;
    case Validity::BelowRange:
        return {std::nullopt, QStringLiteral("below the calibrated range: the dose is only a "
                                             "bound and gives no product dose")};
    case Validity::AboveRange:
        return {std::nullopt, QStringLiteral("above the calibrated range: the dose is only a "
                                             "bound and gives no product dose")};
    default:
        return {std::nullopt, QStringLiteral("no valid dose")};
    }
    if (rec.flags.contains(QStringLiteral("outside_window")))
        return {std::nullopt, QStringLiteral("read outside the reading window")};
    if (rec.flags.contains(kCheckFailedAfter))
        return {std::nullopt, QStringLiteral("a reader check failed after the read")};
    const InferredDoses d = inferDoses(rec.result.dose, rec.result.expanded, rec.result.coverage,
                                       routine.ratio, routine.study, routine.rule);
    if (d.decision == Decision::NoValidRead)
        return {std::nullopt, QStringLiteral("study %1 gives no ratios at %2")
                                  .arg(routine.study.id, routine.ratio.monitoring)};
    return {d, QString()};
}

RoutineSummary summarizeRoutine(const Job& job, const MappingStudyRecords& study,
                                const std::vector<Record>& allVersions) {
    RoutineSummary out;
    out.study = study.study;
    out.rule = job.rule;
    if (!study.approvals.empty())
        out.approval = study.approvals.back();
    const MappingSummary s = summarizeMapping(study.study, study.positions, study.runs);
    for (const RatioResult& r : s.ratios)
        if (r.monitoring == job.monitoringPosition)
            out.ratio = r;
    out.ratio.monitoring = job.monitoringPosition;
    bool fail = false, undecided = false, pass = false;
    for (const Record& rec : latestVersions(allVersions)) {
        if (!countsInMean(rec))
            continue;
        RoutineRead r{
            rec.id, rec.dosimeter, rec.result.dose, rec.result.expanded, rec.result.coverage, {}};
        const RecordInference i = inferRecord(rec, out);
        if (i.inferred)
            r.inferred = *i.inferred;
        fail |= r.inferred.decision == Decision::Fail;
        undecided |= r.inferred.decision == Decision::Undecided ||
                     r.inferred.decision == Decision::NoValidRead;
        pass |= r.inferred.decision == Decision::Pass;
        out.reads.push_back(r);
    }
    out.decision = fail        ? Decision::Fail
                   : undecided ? Decision::Undecided
                   : pass      ? Decision::Pass
                               : Decision::NoValidRead;
    return out;
}

} // namespace qvr::dose
