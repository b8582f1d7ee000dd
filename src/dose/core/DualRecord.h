#pragma once
// A record read at both wavelengths: its second read as stored, and its dose computed from the
// two reads. The record's own result is the film's dose: the agreeing doses combined, or the one
// within its calibrated range; doses that disagree give none and flag wavelength_mismatch.

#include "dose/core/Record.h"

namespace qvr::dose {

inline const QString kWavelengthMismatch = QStringLiteral("wavelength_mismatch");

QString dualOutcomeName(DualOutcome outcome); // "combined", "mismatch", "first_only" ...

// The stored form of the second read (a canonical object) and back; nullopt when it does not
// parse.
QString dualText(const SecondRead& second);
std::optional<SecondRead> parseDual(const QString& json);

// The input of the second read's dose: its readings, its background, the record's film.
DoseInput secondInputOf(const Record& record, SecondRead& second, const Calibration& calibration);

// Computes both doses, their agreement and the record's result and flags. record.second holds
// the second read; first and second are the calibrations (with their fits) of each wavelength.
void evaluateDualRecord(Record& record, const Job& job, const Calibration& firstCalibration,
                        const Fit& firstFit, const Calibration& secondCalibration,
                        const Fit& secondFit);

} // namespace qvr::dose
