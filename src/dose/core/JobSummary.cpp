#include "dose/core/JobSummary.h"

#include "dose/core/DualRecord.h"

#include <algorithm>
#include <map>
#include <set>

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

JobSummary summarize(const Job& job, const std::vector<Record>& allVersions) {
    JobSummary summary;
    std::map<QString, size_t> index;
    std::set<QString> conclusive; // dosimeters with a read beyond the range that breaks a limit
    for (const Record& r : latestVersions(allVersions)) {
        auto [it, fresh] = index.emplace(r.dosimeter, summary.dosimeters.size());
        if (fresh) {
            summary.dosimeters.emplace_back();
            summary.dosimeters.back().dosimeter = r.dosimeter;
        }
        DosimeterSummary& d = summary.dosimeters[it->second];
        ++d.reads;
        const QStringList flags = currentFlags(r, job);
        for (const QString& f : flags)
            if (!d.flags.contains(f) && !f.startsWith(QLatin1String("reread_")))
                d.flags << f;
        if (!d.operators.contains(r.operatorName))
            d.operators << r.operatorName;
        if (!summary.operators.contains(r.operatorName))
            summary.operators << r.operatorName;
        if (!countsInMean(r)) {
            const bool beyond = recordValidity(r) == Validity::BelowRange ||
                                recordValidity(r) == Validity::AboveRange;
            if (beyond && !r.flags.contains(QStringLiteral("outside_window")) &&
                !r.flags.contains(kCheckFailedAfter) &&
                std::any_of(flags.begin(), flags.end(), isDecisionFlag))
                conclusive.insert(r.dosimeter);
            continue;
        }
        // Running means over the valid reads.
        ++d.n;
        d.dose += (r.result.dose - d.dose) / d.n;
        d.expanded += (r.result.expanded - d.expanded) / d.n;
        d.coverage += (r.result.coverage - d.coverage) / d.n;
    }
    bool anyUndecided = false, anyFail = false, anyMissing = false, anyLimits = false;
    for (DosimeterSummary& d : summary.dosimeters) {
        d.decision = d.n > 0                         ? decide(d.dose, d.expanded, job)
                     : conclusive.count(d.dosimeter) ? Decision::Fail
                                                     : Decision::NoValidRead;
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

Tone recordTone(const Record& record, const Job& job) {
    const QStringList flags = currentFlags(record, job);
    if (flags.contains(QStringLiteral("outside_window")) || flags.contains(kCheckFailedAfter))
        return Tone::Off;
    // A valid dose that breaks a limit, or a read beyond the range that does so conclusively.
    if (flags.contains(QStringLiteral("below_dmin")) ||
        flags.contains(QStringLiteral("above_dmax")))
        return Tone::Bad;
    // The film or its reading is suspect: red, not grey, though it does not count.
    if (flags.contains(kWavelengthMismatch))
        return Tone::Bad;
    if (!countsInMean(record))
        return Tone::Off;
    return flags.contains(QStringLiteral("undecided")) ? Tone::Caution : Tone::Good;
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
