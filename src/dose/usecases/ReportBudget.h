#pragma once
// The uncertainty budget as the report shows it, from the components each record holds: one
// table per calibration (each component's range over the job's valid reads) and one row of
// components per read. Relative standard uncertainties (k = 1), % of dose.

#include "dose/core/Record.h"

#include <vector>

namespace qvr::dose {

struct BudgetLine {
    QString name;   // "calibration function", ...
    QString source; // how it is evaluated: "Type A: ..." or "Type B: ..."
    double percent = 0;
};

std::vector<BudgetLine> budgetLines(const Components& components);

// HTML: the budget of calibration id over reads (latest versions made with it) and the
// components of each valid read.
QString budgetHtml(qint64 calibrationId, const std::vector<Record>& reads);

} // namespace qvr::dose
