#pragma once
// Doses of a mapping run read by another system (alanine, another film reader), from CSV: a
// header naming the columns position, dosimeter, dose_kGy, U_kGy, k and source, in any order;
// one dosimeter per line. The whole U counts as varying from dosimeter to dosimeter: the file
// does not say what part is common to every dose. The first bad line refuses the whole file.

#include "dose/core/MappingStudy.h"
#include "dose/core/Outcome.h"

#include <QByteArray>

namespace qvr::dose {

inline constexpr double kMaxCoverageFactor = 10;

Outcome<std::vector<PositionDose>> parseMappingDosesCsv(const QByteArray& data,
                                                        const QString& runId);

} // namespace qvr::dose
