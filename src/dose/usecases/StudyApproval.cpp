#include "dose/usecases/StudyApproval.h"

namespace qvr::dose {

Outcome<Receipt> approveStudy(Store& store, const QString& studyId, const QString& reason,
                              const QString& approver) {
    MappingApproval a;
    a.studyId = studyId;
    a.approved = true;
    a.reason = reason.trimmed();
    a.approver = approver;
    return store.addMappingApproval(a);
}

QString approvalText(const QString& studyId, const QString& approver) {
    return QStringLiteral("study %1 approved by %2").arg(studyId, approver);
}

} // namespace qvr::dose
