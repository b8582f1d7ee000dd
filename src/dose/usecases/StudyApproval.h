#pragma once
// A mapping study approved for routine monitoring, signed by its approver; a login that made
// any part of it, a study with a blocker and a training study are refused before anyone is
// asked for a password.

#include "dose/usecases/Signer.h"

namespace qvr::dose {

Outcome<Receipt> approveStudy(Store& store, Signer& signer, const QString& studyId,
                              const QString& reason, const QString& approver);

// "study S1 approved by ben"
QString approvalText(const QString& studyId, const QString& approver);

} // namespace qvr::dose
