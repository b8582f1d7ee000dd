#include "dose/core/MappingRead.h"

#include <algorithm>
#include <cmath>

namespace qvr::dose {

PositionDose positionDoseOfRead(const Record& read, const Fit& fit) {
    PositionDose d;
    d.dosimeter = read.dosimeter;
    d.calibrationId = read.calibrationId;
    d.calibrationVersion = read.calibrationVersion;
    d.fitId = read.fitId;
    d.batchVersion = read.batchVersion;
    d.readings = read.readings;
    d.flags = read.flags;
    d.operatorName = read.operatorName;
    switch (recordValidity(read)) {
    case Validity::Valid:
        if (!countsInMean(read))
            break;
        d.state = PositionState::Valid;
        d.doseKGy = read.result.dose;
        d.expanded = read.result.expanded;
        d.coverage = read.result.coverage;
        {
            const Components& c = read.result.components;
            const double all = c.combined(), common = c.reference;
            d.systematicRel = common / 100;
            d.randomRel = std::sqrt(std::max(0.0, all * all - common * common)) / 100;
        }
        break;
    case Validity::BelowRange:
        d.state = PositionState::BelowRange;
        d.doseKGy = fit.doseLo;
        break;
    case Validity::AboveRange:
        d.state = PositionState::AboveRange;
        d.doseKGy = fit.doseHi;
        break;
    default:
        break;
    }
    return d;
}

std::optional<QString> mappingReadRefusal(const MappingStudyRecords& study, const QString& runId,
                                          const QString& position) {
    const auto run = std::find_if(study.runs.begin(), study.runs.end(),
                                  [&](const MappingRun& r) { return r.id == runId; });
    if (run == study.runs.end())
        return QStringLiteral("study %1 has no run %2").arg(study.study.id, runId);
    if (isApproved(study.approvals))
        return QStringLiteral("study %1 is approved; its runs are closed").arg(study.study.id);
    if (std::none_of(study.positions.begin(), study.positions.end(),
                     [&](const MappingPosition& p) { return p.id == position; }))
        return QStringLiteral("study %1 has no position %2").arg(study.study.id, position);
    for (const PositionDose& d : run->doses)
        if (d.position == position)
            return QStringLiteral("run %1 has a dose at %2 already (dosimeter %3): a position is "
                                  "read once a run")
                .arg(runId, position, d.dosimeter);
    return std::nullopt;
}

} // namespace qvr::dose
