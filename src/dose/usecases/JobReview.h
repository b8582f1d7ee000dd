#pragma once
// A job approved for release or returned to its readers, signed by its reviewer; the store
// refuses a reviewer who read or corrected any of its dosimeters, and any approval of a training
// job, before anyone is asked for a password.

#include "dose/usecases/Signer.h"

namespace qvr::dose {

// A return needs its reason. The reviewer signs as review.reviewer.
Outcome<Receipt> reviewJob(Store& store, Signer& signer, Review review);

// "job R1 approved by ben"
QString reviewText(const Review& review);

// How a review is signed, for people: "signed by Ben Ross (ben), reviewed and approved, ..." or,
// for one made before signatures, "attributed to ben, not signed".
QString reviewSignatureText(const Review& review);

} // namespace qvr::dose
