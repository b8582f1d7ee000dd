#include "dose/usecases/StudyApproval.h"

namespace qvr::dose {

Outcome<Receipt> approveStudy(Store& store, Signer& signer, const QString& studyId,
                              const QString& reason, const QString& approver) {
    MappingApproval a;
    a.studyId = studyId;
    a.approved = true;
    a.reason = reason.trimmed();
    a.approver = approver;
    auto records = store.mappingStudy(studyId);
    if (!records)
        return Failure{records.error()};
    if (auto why = approvalRefusal(*records, a))
        return Failure{*why};
    auto signature = signer.sign(approver, approvedStudyMeaning(),
                                 QStringLiteral("approve mapping study %1").arg(studyId));
    if (!signature)
        return Failure{signature.error()};
    a.signature = *signature;
    return store.addMappingApproval(a);
}

QString approvalText(const QString& studyId, const QString& approver) {
    return QStringLiteral("study %1 approved by %2").arg(studyId, approver);
}

} // namespace qvr::dose
