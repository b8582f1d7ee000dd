#include "dose/core/MappingApproval.h"

namespace qvr::dose {

std::optional<QString> approvalRefusal(const MappingStudyRecords& r,
                                       const MappingApproval& approval) {
    const QString& who = approval.approver;
    if (who.trimmed().isEmpty())
        return QStringLiteral("the approver's login name is not known");
    if (approval.signature && approval.signature->account != who)
        return QStringLiteral("%1 cannot sign for %2").arg(approval.signature->account, who);
    if (approval.approved && r.study.training)
        return QStringLiteral("study %1 is a training study; it cannot be approved")
            .arg(r.study.id);
    QStringList makers{r.study.operatorName};
    for (const MappingPosition& p : r.positions)
        makers << p.operatorName;
    for (const MappingRun& run : r.runs)
        makers << run.operatorName;
    for (const PositionDose& d : r.doses)
        makers << d.operatorName;
    if (makers.contains(who))
        return QStringLiteral("%1 made part of study %2; another login must approve it")
            .arg(who, r.study.id);
    if (!approval.approved && approval.reason.trimmed().isEmpty())
        return QStringLiteral("a returned study needs the reason");
    if (approval.approved && isApproved(r.approvals))
        return QStringLiteral("study %1 is already approved").arg(r.study.id);
    if (approval.approved) {
        const MappingSummary s = summarizeMapping(r.study, r.positions, r.runs);
        if (!s.blockers.isEmpty())
            return QStringLiteral("study %1 cannot be approved: %2")
                .arg(r.study.id, s.blockers.join(QStringLiteral("; ")));
    }
    return std::nullopt;
}

bool isApproved(const std::vector<MappingApproval>& approvals) {
    return !approvals.empty() && approvals.back().approved;
}

} // namespace qvr::dose
