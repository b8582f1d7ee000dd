#pragma once
// Calibration points from a CSV file, for a film batch read on one head at one wavelength, or at
// both when the file gives an absorbance column for each; the batch gives the background
// absorbance at each wavelength.

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

// Gives the new calibrations' receipts (their ids and the chain's head), one per wavelength of
// the file in its order; the calibration's wavelength, when given (not 0), must be one of them.
// A file of one absorbance column needs it.
Outcome<std::vector<Receipt>> importCalibration(Store& store, const CalibrationImport& import,
                                                const QDate& today);

// What to say of a calibration without a certificate or a valid-until date: it is not
// traceable and serves training jobs only. Nothing for one that has both.
std::optional<QString> trainingOnlyText(const Calibration& calibration);

} // namespace qvr::dose
