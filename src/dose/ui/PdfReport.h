#pragma once
// Prints a report to a PDF file: A4, the report's id and "page x of y" on every page.

#include "dose/usecases/JobReport.h"
#include "dose/usecases/StudyReport.h"

namespace qvr::dose {

// The number of pages written, or why nothing was.
Outcome<int> writePdfReport(const JobReport& report, const QString& path);
// With its heat maps painted in.
Outcome<int> writePdfStudyReport(const StudyReport& report, const QString& path);

} // namespace qvr::dose
