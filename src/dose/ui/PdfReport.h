#pragma once
// Prints a job report to a PDF file: A4, the report's id and "page x of y" on every page.

#include "dose/usecases/JobReport.h"

namespace qvr::dose {

// The number of pages written, or why nothing was.
Outcome<int> writePdfReport(const JobReport& report, const QString& path);

} // namespace qvr::dose
