#include "dose/core/JobSummary.h"

#include "dose/core/Canonical.h"

#include <map>

namespace qvr::dose {

std::vector<Record> latestVersions(const std::vector<Record>& allVersions) {
    std::map<qint64, Record> newest;
    for (const Record& r : allVersions) {
        auto it = newest.find(r.id);
        if (it == newest.end() || it->second.version < r.version)
            newest[r.id] = r;
    }
    std::vector<Record> out;
    for (auto& [id, r] : newest)
        out.push_back(r);
    return out;
}

Decision decide(double dose, double expanded, const Job& job) {
    if (!job.dminKGy && !job.dmaxKGy)
        return Decision::NoLimits;
    if ((job.dminKGy && dose + expanded < *job.dminKGy) ||
        (job.dmaxKGy && dose - expanded > *job.dmaxKGy))
        return Decision::Fail;
    if ((job.dminKGy && dose - expanded < *job.dminKGy) ||
        (job.dmaxKGy && dose + expanded > *job.dmaxKGy))
        return Decision::Undecided;
    return Decision::Pass;
}

JobSummary summarize(const Job& job, const std::vector<Record>& allVersions) {
    JobSummary summary;
    std::map<QString, size_t> index;
    for (const Record& r : latestVersions(allVersions)) {
        auto [it, fresh] = index.emplace(r.dosimeter, summary.dosimeters.size());
        if (fresh) {
            summary.dosimeters.emplace_back();
            summary.dosimeters.back().dosimeter = r.dosimeter;
        }
        DosimeterSummary& d = summary.dosimeters[it->second];
        ++d.reads;
        for (const QString& f : r.flags)
            if (!d.flags.contains(f) && !f.startsWith(QLatin1String("reread_")))
                d.flags << f;
        if (!d.operators.contains(r.operatorName))
            d.operators << r.operatorName;
        if (!summary.operators.contains(r.operatorName))
            summary.operators << r.operatorName;
        if (!r.result.inRange)
            continue;
        // Running means over the valid reads.
        ++d.n;
        d.dose += (r.result.dose - d.dose) / d.n;
        d.expanded += (r.result.expanded - d.expanded) / d.n;
    }
    bool anyUndecided = false, anyFail = false, anyMissing = false, anyLimits = false;
    for (DosimeterSummary& d : summary.dosimeters) {
        d.decision = d.n > 0 ? decide(d.dose, d.expanded, job) : Decision::NoValidRead;
        anyFail |= d.decision == Decision::Fail;
        anyUndecided |= d.decision == Decision::Undecided;
        anyMissing |= d.decision == Decision::NoValidRead;
        anyLimits |= d.decision != Decision::NoLimits;
    }
    if (summary.dosimeters.empty() || anyMissing)
        summary.decision = Decision::NoValidRead;
    else if (anyFail)
        summary.decision = Decision::Fail;
    else if (anyUndecided)
        summary.decision = Decision::Undecided;
    else
        summary.decision = anyLimits ? Decision::Pass : Decision::NoLimits;
    return summary;
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
    return QStringLiteral("Decision rule (U expanded, k = 2): pass when D - U >= Dmin and D + U <= "
                          "Dmax; fail when D + U < Dmin or D - U > Dmax; otherwise undecided. "
                          "Dmin %1, Dmax %2. D is the mean of a dosimeter's valid reads.")
        .arg(dmin, dmax);
}

Tone recordTone(const Record& record) {
    if (!record.result.inRange)
        return Tone::Off;
    if (record.flags.contains(QStringLiteral("below_dmin")) ||
        record.flags.contains(QStringLiteral("above_dmax")))
        return Tone::Bad;
    return Tone::Good;
}

Tone decisionTone(Decision decision) {
    switch (decision) {
    case Decision::Pass:
        return Tone::Good;
    case Decision::Fail:
        return Tone::Bad;
    case Decision::Undecided:
        return Tone::Caution;
    case Decision::NoLimits:
        return Tone::Busy;
    case Decision::NoValidRead:
        return Tone::Off;
    }
    return Tone::Off;
}

} // namespace qvr::dose
