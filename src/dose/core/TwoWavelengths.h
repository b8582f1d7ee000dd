#pragma once
// One film read at both of the head's wavelengths gives two doses through two calibrations.
// They must agree within the uncertainty of their difference; when they do, the film's dose is
// their best linear unbiased combination. What the two doses share (the calibration's reference
// doses, the film's thickness and sensitivity, and the fits when both calibrations were made from
// the same films) is counted as correlated: it cannot show up in their difference, and averaging
// the two does not shrink it.

#include "dose/core/Calibration.h"
#include "dose/core/Dose.h"

#include <QString>
#include <vector>

namespace qvr::dose {

// A dose at one wavelength with what Welch-Satterthwaite needs of its components.
struct WavelengthDose {
    int wavelengthNm = 0;
    DoseResult result;
    double fitDof = 0;             // 0: taken as known
    double reproducibilityDof = 0; // 0: taken as known
};

WavelengthDose doseAtWavelength(int wavelengthNm, const Fit& fit, const DoseInput& input);

// The correlation of two fits' errors, from the calibration films' residuals paired film by
// film (the same films read at both wavelengths). Pairs with a missing residual are skipped;
// 0 with fewer than three pairs or no spread.
double residualCorrelation(const std::vector<double>& first, const std::vector<double>& second);

// The correlation of the fits of two calibrations: that of their residuals when one was made
// from the same films as the other (a film either fit left out pairs with nothing), else 0.
double fitCorrelation(const Calibration& first, const Fit& firstFit, const Calibration& second,
                      const Fit& secondFit);

enum class DualOutcome {
    Combined,   // both in range and consistent: the weighted combination
    Mismatch,   // both in range, inconsistent: no dose
    FirstOnly,  // only the first wavelength is within its calibrated range
    SecondOnly, // only the second
    NoDose,     // neither
};

struct Agreement {
    double difference = 0;  // D1 - D2, kGy
    double uDifference = 0; // standard uncertainty of the difference, kGy
    double coverage = 2;    // k
    double expanded = 0;    // k u(D1 - D2), kGy
    bool consistent = false;
};

struct DualDose {
    DualOutcome outcome = DualOutcome::NoDose;
    bool hasAgreement = false; // both doses valid
    Agreement agreement;
    // The film's dose: the combination, or the one valid dose; not a number otherwise.
    double dose = 0;
    double expanded = 0; // U, kGy
    double coverage = kCoverage;
    double dof = 0;         // 0: not estimated
    double weightFirst = 0; // the first dose's share of the combination
    // The dose's components (percent of it), the correlated parts of the two added as such.
    Components components;
    QString note; // what was done, in words
};

// fitCorrelation: the fits' correlation (residualCorrelation), 0 for calibrations made from
// different films.
DualDose combineWavelengths(const WavelengthDose& first, const WavelengthDose& second,
                            double fitCorrelation);

// The rule in words, for the report.
QString consistencyRule();

} // namespace qvr::dose
