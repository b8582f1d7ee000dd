#pragma once
// A job approved for release or returned to its readers; the store refuses a reviewer who read
// or corrected any of its dosimeters, and any approval of a training job.

#include "dose/store/Store.h"

namespace qvr::dose {

// A return needs its reason.
Outcome<Receipt> reviewJob(Store& store, const Review& review);

// "job R1 approved by ben"
QString reviewText(const Review& review);

} // namespace qvr::dose
