#pragma once
// Who may approve a mapping study: someone other than everyone who made it (the study, its
// positions, runs and doses), and only a study whose results have no blocker. A training
// study is never approved; routine jobs use only an approved study.

#include "dose/core/MappingSummary.h"

#include <optional>

namespace qvr::dose {

struct MappingStudyRecords {
    MappingStudy study;
    std::vector<MappingPosition> positions;
    std::vector<MappingRun> runs;    // each with its latest doses
    std::vector<PositionDose> doses; // every dose stored, latest or not
    std::vector<MappingApproval> approvals;
};

std::optional<QString> approvalRefusal(const MappingStudyRecords& records,
                                       const MappingApproval& approval);

// Whether the study's latest approval approves it.
bool isApproved(const std::vector<MappingApproval>& approvals);

} // namespace qvr::dose
