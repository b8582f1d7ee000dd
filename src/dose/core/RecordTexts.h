#pragma once
// The text rules applied to every text of a row about to be stored: each id and free text put
// in NFC, or the first one refused, naming it. The store runs this on every write, so no path
// in (command line, CSV, window) can store a text that would not read back as written.

#include "dose/core/Batch.h"
#include "dose/core/Calibration.h"
#include "dose/core/Fit.h"
#include "dose/core/Job.h"
#include "dose/core/LabSettings.h"
#include "dose/core/MappingStudy.h"
#include "dose/core/Outcome.h"
#include "dose/core/ReaderCheck.h"
#include "dose/core/Record.h"
#include "dose/core/Review.h"
#include "dose/core/Roles.h"
#include "dose/core/SigningLock.h"

namespace qvr::dose {

Outcome<Done> acceptTexts(Amendment& amendment);
Outcome<Done> acceptTexts(Batch& batch);
Outcome<Done> acceptTexts(Calibration& calibration);
Outcome<Done> acceptTexts(Fit& fit);
Outcome<Done> acceptTexts(Job& job);
Outcome<Done> acceptTexts(Record& record);
Outcome<Done> acceptTexts(Review& review);
Outcome<Done> acceptTexts(SigningFailure& failure);
Outcome<Done> acceptTexts(RoleChange& change);
Outcome<Done> acceptTexts(ReaderCheck& check);
Outcome<Done> acceptTexts(LabSetting& setting);
Outcome<Done> acceptTexts(MappingStudy& study);
Outcome<Done> acceptTexts(MappingPosition& position);
Outcome<Done> acceptTexts(MappingRun& run);
Outcome<Done> acceptTexts(PositionDose& dose);
Outcome<Done> acceptTexts(MappingApproval& approval);

} // namespace qvr::dose
