#pragma once
// Doses as a metrologist writes them: U to two significant digits and the dose to the same
// decimal place, with the unit and the coverage factor ("6.28 ± 0.18 kGy (k = 2)"). Text, the
// window and reports use these; JSON and CSV keep every digit.

#include "dose/core/Dose.h"
#include "dose/core/Record.h"

namespace qvr::dose {

struct RoundedDose {
    QString dose;     // "6.28"
    QString expanded; // "0.18"
};

// Both rounded at U's second significant digit.
RoundedDose roundedToU(double dose, double expanded);

QString doseAndU(double dose, double expanded,
                 double k = kCoverage); // "6.28 ± 0.18 kGy (k = 2)"

// One line naming each component of a budget by dose: "fit 0.61 %, reference dose 1.50 %
// (systematic), ...; combined 2.1 %, 35 degrees of freedom, k = 2.03"; for a result of the
// budget before it, its five components.
QString budgetLine(const DoseResult& result);

// k as printed: "2", "2.17".
QString coverageText(double k); // "6.28 ± 0.18 kGy (k = 2)"

// A result in words: the dose with U when valid; "< 1 kGy, below the calibrated range",
// "> 50 kGy, above the calibrated range", or "no dose: WHY" otherwise.
QString resultText(const DoseResult& result, const Fit& fit);

// The same for a stored record; fit, when known, gives the range's ends.
QString recordResultText(const Record& record, const Fit* fit);

// A read at both wavelengths in words: each wavelength's dose with its calibration, then their
// agreement and what the film's dose is ("510 nm, calibration 1: 6.28 ± 0.18 kGy (k = 2)").
QStringList wavelengthLines(const Record& record);
QString agreementText(const Record& record); // empty for a single read

} // namespace qvr::dose
