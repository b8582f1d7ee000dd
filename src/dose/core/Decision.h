#pragma once
// A dose against a job's limits, by the job's decision rule. Under the guarded rule a limit is
// broken only when it is broken with the expanded uncertainty (below_dmin: D + U < Dmin;
// above_dmax: D - U > Dmax) and met only when it is met with it; in between the read is
// undecided. Under simple acceptance the dose alone decides.

#include "dose/core/Job.h"

#include <QStringList>

namespace qvr::dose {

enum class Decision { Pass, Fail, Undecided, NoLimits, NoValidRead };

Decision decide(double dose, double expanded, const Job& job);

// The flags of a valid dose: below_dmin, above_dmax, undecided.
QStringList decisionFlags(double dose, double expanded, const Job& job);

// The flags of a read beyond the calibrated range: "< lowKGy" is conclusively below Dmin when
// lowKGy <= Dmin, "> highKGy" above Dmax when highKGy >= Dmax; nothing otherwise.
QStringList rangeDecisionFlags(bool below, double boundKGy, const Job& job);

bool isDecisionFlag(const QString& flag);

QString decisionWords(Decision decision); // "pass", "fail", ...
QString decisionRule(const Job& job);     // the rule in words with the job's limits

} // namespace qvr::dose
