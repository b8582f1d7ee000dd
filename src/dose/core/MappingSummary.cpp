#include "dose/core/MappingSummary.h"

#include <cmath>
#include <map>

namespace qvr::dose {

namespace {

struct Stats {
    double mean = 0;
    double sd = 0;
};

Stats stats(const std::vector<double>& v) {
    Stats s;
    if (v.empty())
        return s;
    for (double x : v)
        s.mean += x;
    s.mean /= double(v.size());
    if (v.size() > 1) {
        double ss = 0;
        for (double x : v)
            ss += (x - s.mean) * (x - s.mean);
        s.sd = std::sqrt(ss / double(v.size() - 1));
    }
    return s;
}

double rms(const std::vector<double>& v) {
    if (v.empty())
        return 0;
    double ss = 0;
    for (double x : v)
        ss += x * x;
    return std::sqrt(ss / double(v.size()));
}

QString kGy(double v) {
    return QString::number(v, 'f', 3) + QStringLiteral(" kGy");
}

bool hasValue(PositionState s) {
    return s != PositionState::NoDose;
}

// One position's doses over the runs, in run order.
struct Column {
    std::vector<double> values, randomU, systematicRel;
    bool below = false, above = false;
};

RunResult runResult(const MappingRun& run, const std::vector<MappingPosition>& positions) {
    RunResult r;
    r.run = run.id;
    std::map<QString, const PositionDose*> at;
    for (const PositionDose& d : run.doses)
        at[d.position] = &d;
    const PositionDose* lo = nullptr;
    const PositionDose* hi = nullptr;
    // A bound beyond the range beats every dose: "< D_low" is the lowest a run can say.
    auto lower = [](const PositionDose* a, const PositionDose* b) {
        if ((a->state == PositionState::BelowRange) != (b->state == PositionState::BelowRange))
            return a->state == PositionState::BelowRange;
        return a->doseKGy < b->doseKGy;
    };
    auto higher = [](const PositionDose* a, const PositionDose* b) {
        if ((a->state == PositionState::AboveRange) != (b->state == PositionState::AboveRange))
            return a->state == PositionState::AboveRange;
        return a->doseKGy > b->doseKGy;
    };
    for (const MappingPosition& p : positions) {
        const auto it = at.find(p.id);
        if (it == at.end() || !hasValue(it->second->state)) {
            r.missing << p.id;
            continue;
        }
        const PositionDose* d = it->second;
        if (!lo || lower(d, lo))
            lo = d;
        if (!hi || higher(d, hi))
            hi = d;
    }
    if (!lo)
        return r;
    auto doseAt = [](const PositionDose* d, PositionState bound) {
        DoseAt a;
        a.position = d->position;
        a.doseKGy = d->doseKGy;
        a.bound = d->state == bound;
        a.expanded = d->state == PositionState::Valid ? d->expanded : 0;
        return a;
    };
    r.dmin = doseAt(lo, PositionState::BelowRange);
    r.dmax = doseAt(hi, PositionState::AboveRange);
    if (lo->state == PositionState::Valid && hi->state == PositionState::Valid) {
        r.dur = hi->doseKGy / lo->doseKGy;
        r.uDur = kMappingCoverage * *r.dur * std::hypot(lo->randomRel, hi->randomRel);
    }
    return r;
}

RatioResult ratios(const QString& monitoring, const QString& minPosition,
                   const QString& maxPosition, const std::vector<MappingRun>& runs) {
    RatioResult r;
    r.monitoring = monitoring;
    std::vector<double> relMin, relMax;
    for (const MappingRun& run : runs) {
        const PositionDose *mon = nullptr, *lo = nullptr, *hi = nullptr;
        for (const PositionDose& d : run.doses) {
            if (d.state != PositionState::Valid)
                continue;
            if (d.position == monitoring)
                mon = &d;
            if (d.position == minPosition)
                lo = &d;
            if (d.position == maxPosition)
                hi = &d;
        }
        if (!mon || !lo || !hi)
            continue;
        r.ratioMin.push_back(lo->doseKGy / mon->doseKGy);
        r.ratioMax.push_back(hi->doseKGy / mon->doseKGy);
        relMin.push_back(std::hypot(lo->randomRel, mon->randomRel));
        relMax.push_back(std::hypot(hi->randomRel, mon->randomRel));
    }
    r.runs = int(r.ratioMin.size());
    const Stats a = stats(r.ratioMin), b = stats(r.ratioMax);
    r.meanMin = a.mean;
    r.sdMin = a.sd;
    r.uMin = kMappingCoverage * std::hypot(a.sd, a.mean * rms(relMin));
    r.meanMax = b.mean;
    r.sdMax = b.sd;
    r.uMax = kMappingCoverage * std::hypot(b.sd, b.mean * rms(relMax));
    return r;
}

} // namespace

MappingSummary summarizeMapping(const MappingStudy& study,
                                const std::vector<MappingPosition>& positions,
                                const std::vector<MappingRun>& runs) {
    MappingSummary s;
    if (int(runs.size()) < study.requiredRuns)
        s.blockers << QStringLiteral("%1 of the %2 runs required")
                          .arg(runs.size())
                          .arg(study.requiredRuns);
    if (positions.empty())
        s.blockers << QStringLiteral("no positions");
    bool anyMonitoring = false;
    for (const MappingPosition& p : positions)
        anyMonitoring = anyMonitoring || p.monitoring;
    if (!positions.empty() && !anyMonitoring)
        s.blockers << QStringLiteral("no monitoring position");

    std::map<QString, Column> columns;
    for (const MappingRun& run : runs) {
        RunResult r = runResult(run, positions);
        for (const QString& p : std::as_const(r.missing))
            s.blockers
                << QStringLiteral("run %1: no valid dose or bound at position %2").arg(run.id, p);
        if (r.dmin && r.dmin->bound)
            s.blockers << QStringLiteral("run %1: Dmin < %2 at position %3, below the "
                                         "calibrated range")
                              .arg(run.id, kGy(r.dmin->doseKGy), r.dmin->position);
        if (r.dmax && r.dmax->bound)
            s.blockers << QStringLiteral("run %1: Dmax > %2 at position %3, above the "
                                         "calibrated range")
                              .arg(run.id, kGy(r.dmax->doseKGy), r.dmax->position);
        s.runs.push_back(std::move(r));
        for (const PositionDose& d : run.doses) {
            if (!hasValue(d.state))
                continue;
            Column& c = columns[d.position];
            c.values.push_back(d.doseKGy);
            c.below = c.below || d.state == PositionState::BelowRange;
            c.above = c.above || d.state == PositionState::AboveRange;
            if (d.state == PositionState::Valid) {
                c.randomU.push_back(d.randomRel * d.doseKGy);
                c.systematicRel.push_back(d.systematicRel);
            }
        }
    }

    const PositionMean* lo = nullptr;
    const PositionMean* hi = nullptr;
    std::map<QString, double> systematic;
    for (const MappingPosition& p : positions) {
        const auto it = columns.find(p.id);
        if (it == columns.end())
            continue;
        const Column& c = it->second;
        PositionMean m;
        m.position = p.id;
        m.n = int(c.values.size());
        const Stats st = stats(c.values);
        m.mean = st.mean;
        m.sd = st.sd;
        m.uMean = std::sqrt((st.sd * st.sd + std::pow(rms(c.randomU), 2)) / m.n);
        m.belowRange = c.below;
        m.aboveRange = c.above;
        systematic[p.id] = rms(c.systematicRel);
        s.positions.push_back(m);
    }
    for (const PositionMean& m : s.positions) {
        if (!lo || m.mean < lo->mean)
            lo = &m;
        if (!hi || m.mean > hi->mean)
            hi = &m;
    }
    if (!lo)
        return s;

    auto studyDose = [&](const PositionMean& m, bool bound) {
        DoseAt a;
        a.position = m.position;
        a.doseKGy = m.mean;
        a.bound = bound;
        a.expanded =
            bound ? 0 : kMappingCoverage * std::hypot(m.uMean, m.mean * systematic[m.position]);
        return a;
    };
    s.dmin = studyDose(*lo, lo->belowRange);
    s.dmax = studyDose(*hi, hi->aboveRange);
    if (!s.dmin->bound && !s.dmax->bound) {
        s.dur = hi->mean / lo->mean;
        s.uDur = kMappingCoverage * *s.dur * std::hypot(lo->uMean / lo->mean, hi->uMean / hi->mean);
    }
    for (const PositionMean& m : s.positions) {
        if (std::fabs(m.mean - lo->mean) <= kMappingCoverage * std::hypot(m.uMean, lo->uMean))
            s.minZone << m.position;
        if (std::fabs(m.mean - hi->mean) <= kMappingCoverage * std::hypot(m.uMean, hi->uMean))
            s.maxZone << m.position;
    }
    for (const MappingPosition& p : positions) {
        if (!p.monitoring)
            continue;
        RatioResult r = ratios(p.id, lo->position, hi->position, runs);
        if (r.runs > 0)
            s.ratios.push_back(std::move(r));
    }
    return s;
}

} // namespace qvr::dose
