#include "dose/core/Decision.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

namespace {

const QString kBelow = QStringLiteral("below_dmin");
const QString kAbove = QStringLiteral("above_dmax");
const QString kUndecided = QStringLiteral("undecided");

// The margin by which a limit must be cleared: U under the guarded rule, nothing under simple.
double guard(double expanded, const Job& job) {
    return job.rule == DecisionRule::Guarded ? expanded : 0;
}

} // namespace

Decision decide(double dose, double expanded, const Job& job) {
    if (!job.dminKGy && !job.dmaxKGy)
        return Decision::NoLimits;
    const double w = guard(expanded, job);
    if ((job.dminKGy && dose + w < *job.dminKGy) || (job.dmaxKGy && dose - w > *job.dmaxKGy))
        return Decision::Fail;
    if ((job.dminKGy && dose - w < *job.dminKGy) || (job.dmaxKGy && dose + w > *job.dmaxKGy))
        return Decision::Undecided;
    return Decision::Pass;
}

QStringList decisionFlags(double dose, double expanded, const Job& job) {
    const double w = guard(expanded, job);
    QStringList flags;
    if (job.dminKGy && dose + w < *job.dminKGy)
        flags << kBelow;
    if (job.dmaxKGy && dose - w > *job.dmaxKGy)
        flags << kAbove;
    if (flags.isEmpty() && decide(dose, expanded, job) == Decision::Undecided)
        flags << kUndecided;
    return flags;
}

QStringList rangeDecisionFlags(bool below, double boundKGy, const Job& job) {
    if (below && job.dminKGy && boundKGy <= *job.dminKGy)
        return {kBelow};
    if (!below && job.dmaxKGy && boundKGy >= *job.dmaxKGy)
        return {kAbove};
    return {};
}

bool isDecisionFlag(const QString& flag) {
    return flag == kBelow || flag == kAbove || flag == kUndecided;
}

QString decisionWords(Decision decision) {
    switch (decision) {
    case Decision::Pass:
        return QStringLiteral("pass");
    case Decision::Fail:
        return QStringLiteral("fail");
    case Decision::Undecided:
        return QStringLiteral("undecided (a limit lies within U)");
    case Decision::NoLimits:
        return QStringLiteral("no limits set");
    case Decision::NoValidRead:
        return QStringLiteral("no valid read");
    }
    return {};
}

QString decisionRule(const Job& job) {
    const QString dmin =
        job.dminKGy ? numberText(*job.dminKGy) + QStringLiteral(" kGy") : QStringLiteral("not set");
    const QString dmax =
        job.dmaxKGy ? numberText(*job.dmaxKGy) + QStringLiteral(" kGy") : QStringLiteral("not set");
    const QString rule =
        job.rule == DecisionRule::Guarded
            ? QStringLiteral(
                  "Decision rule: guarded (w = U, the expanded uncertainty with its k): pass "
                  "when "
                  "D - U >= Dmin and D + U <= Dmax; fail when D + U < Dmin or "
                  "D - U > Dmax; otherwise undecided.")
            : QStringLiteral("Decision rule: simple acceptance (the lab's choice for this job): "
                             "pass when Dmin <= D <= Dmax, fail otherwise; U is stated but not "
                             "taken into account.");
    return QStringLiteral("%1 Dmin %2, Dmax %3. D is the mean of a dosimeter's valid reads; reads "
                          "outside the calibrated range, without a dose, outside the reading "
                          "window or followed by a failed reader check are shown but not "
                          "counted.")
        .arg(rule, dmin, dmax);
}

} // namespace qvr::dose
