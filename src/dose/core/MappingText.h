#pragma once
// A mapping study's results in words, the same on the command line, in the window and the PDF.

#include "dose/core/MappingSummary.h"

namespace qvr::dose {

// "25.0 ± 1.0": rounded at U's second significant digit, as every dose is written.
QString valueWithU(double value, double expanded);
// "25.0 ± 1.0 kGy at T-B2", "< 5 kGy at T-B2" (bound names "<" or ">"), "-" for none.
QString doseAtText(const std::optional<DoseAt>& d, const char* bound);
// "T-B2, M-B2", or "-".
QString listText(const QStringList& items);
// Why a read's dose is in doubt, for a map cell or a table: "check failed" after a reader check
// failed, "outside window" when read outside the reading window; empty for the others.
QString doubtText(const PositionDose& dose);
// What those words mean, for a legend.
QString doubtLegend();
// "12.5 min: path B, 2 turns", from the study's process fields; "-" when none.
QString processText(const MappingStudy& study);

} // namespace qvr::dose
