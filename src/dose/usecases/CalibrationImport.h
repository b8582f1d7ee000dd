#pragma once
// Calibration points from a CSV file, for a film batch read on one head at one wavelength; the
// batch gives the background absorbance at that wavelength.

#include "dose/store/Store.h"

namespace qvr::dose {

struct CalibrationImport {
    QString file;
    // Batch, head, wavelength, certificate, validity, reading window and operator; the points
    // and A0 come from the file and the batch.
    Calibration calibration;
    std::optional<double> uDosePercent; // for a file without that column
    std::optional<double> readerSd;     // the spread of the readings each film was read with
};

// Gives the new calibration's receipt (its id and the chain's head).
Outcome<Receipt> importCalibration(Store& store, const CalibrationImport& import,
                                   const QDate& today);

// What to say of a calibration without a certificate or a valid-until date: it is not
// traceable and serves training jobs only. Nothing for one that has both.
std::optional<QString> trainingOnlyText(const Calibration& calibration);

} // namespace qvr::dose
