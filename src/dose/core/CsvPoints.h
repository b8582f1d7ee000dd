#pragma once
// Calibration points from CSV: a header line naming the columns dose_kGy, absorbance,
// thickness_um and optionally u_dose_percent and dosimeter, in any order; one point per line.
// Blank lines and lines starting with '#' are skipped. The first bad line refuses the whole
// file, naming its line number.

#include "dose/core/Calibration.h"
#include "dose/core/Outcome.h"

#include <QByteArray>
#include <optional>
#include <vector>

namespace qvr::dose {

// defaultUDosePercent fills u_dose_percent when the file has no such column.
Outcome<std::vector<CalibrationPoint>> parsePointsCsv(const QByteArray& data,
                                                      std::optional<double> defaultUDosePercent);

} // namespace qvr::dose
