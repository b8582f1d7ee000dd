#pragma once
// Calibration points from CSV: a header line naming the columns dose_kGy, absorbance,
// thickness_um and optionally u_dose_percent and dosimeter, in any order; one point per line.
// Films read at both of the head's wavelengths give absorbance_<nm> columns (absorbance_510,
// absorbance_600) in place of absorbance: one set of points per wavelength, the same films.
// Blank lines and lines starting with '#' are skipped. The first bad line refuses the whole
// file, naming its line number.

#include "dose/core/Calibration.h"
#include "dose/core/Outcome.h"

#include <QByteArray>
#include <optional>
#include <vector>

namespace qvr::dose {

struct CsvCalibration {
    std::vector<int> wavelengthsNm; // in the file's order; empty: one absorbance column
    std::vector<std::vector<CalibrationPoint>> points; // per wavelength (one set without any)
};

// defaultUDosePercent fills u_dose_percent when the file has no such column.
Outcome<CsvCalibration> parseCalibrationCsv(const QByteArray& data,
                                            std::optional<double> defaultUDosePercent);

// A file of one absorbance column.
Outcome<std::vector<CalibrationPoint>> parsePointsCsv(const QByteArray& data,
                                                      std::optional<double> defaultUDosePercent);

} // namespace qvr::dose
