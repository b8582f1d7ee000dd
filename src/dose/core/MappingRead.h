#pragma once
// A mapping run's dosimeter read through the reader: what refuses it, and the read as the
// position's dose.

#include "dose/core/MappingApproval.h"
#include "dose/core/Record.h"

namespace qvr::dose {

// A film read at a position as its dose there: a valid dose read outside the calibration's
// window counts as none; a bound beyond the range is the fit's range end. The reference doses
// are the systematic part, the rest of the budget the random part.
PositionDose positionDoseOfRead(const Record& read, const Fit& fit);

// Why a read at position in run is refused: a run or position the study lacks, an approved
// study, or a position the run has a dose at (a film is read once; its record stays).
std::optional<QString> mappingReadRefusal(const MappingStudyRecords& study, const QString& runId,
                                          const QString& position);

} // namespace qvr::dose
