#pragma once
// A mapping study approved for routine monitoring; the store refuses a login that made any part
// of it, a study with a blocker and a training study.

#include "dose/store/Store.h"

namespace qvr::dose {

Outcome<Receipt> approveStudy(Store& store, const QString& studyId, const QString& reason,
                              const QString& approver);

// "study S1 approved by ben"
QString approvalText(const QString& studyId, const QString& approver);

} // namespace qvr::dose
