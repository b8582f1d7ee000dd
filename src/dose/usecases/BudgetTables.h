#pragma once
// The uncertainty budget on reports: what a calibration's fit gives every dose read through it,
// and each record's components.

#include "dose/core/Fit.h"
#include "dose/core/Record.h"

#include <QString>

namespace qvr::dose {

// Rows (HTML <tr>) of a calibration's budget: reproducibility, reference dose, fit, k.
QString calibrationBudgetRows(const Fit& fit);

// A record's components on one line, or "-" for a read without a dose.
QString recordBudgetCell(const Record& record);

} // namespace qvr::dose
