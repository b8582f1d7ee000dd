#pragma once
// The uncertainty budget on reports: what a calibration's fit gives every dose read through it,
// and each record's components.

#include "dose/core/CoverageSimulation.h"
#include "dose/core/Fit.h"
#include "dose/core/Record.h"

#include <QString>

namespace qvr::dose {

// Rows (HTML <tr>) of a calibration's budget: reproducibility, reference dose, fit, k.
QString calibrationBudgetRows(const Fit& fit);

// The coverage check a report runs for each calibration: few simulations, so that a report is
// written in a moment; the command line and the window run more.
inline constexpr int kReportCoverageTrials = 100;
inline constexpr quint64 kReportCoverageSeed = 1;

// A row of the coverage check of fit: per level, how often U covered the true dose and U over
// the observed error, with the number of simulations and the seed.
QString coverageRow(const Fit& fit, const CoverageReport& report, int trials, quint64 seed);

// A record's components on one line, or "-" for a read without a dose.
QString recordBudgetCell(const Record& record);

} // namespace qvr::dose
