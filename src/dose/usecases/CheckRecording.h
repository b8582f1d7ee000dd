#pragma once
// A reader check recorded with the signature of whoever performed it: the doses read on that
// reader until the next check rest on it.

#include "dose/usecases/Signer.h"

namespace qvr::dose {

// check as compared, by check.operatorName; gives it as stored (id, time, signature).
Outcome<ReaderCheck> recordCheck(Store& store, Signer& signer, ReaderCheck check);

} // namespace qvr::dose
