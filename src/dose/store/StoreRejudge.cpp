// Records already stored, judged again: a new version where this program's rules see a read
// differently, never a changed row.

#include "dose/core/MappingStudy.h"
#include "dose/core/Operator.h"
#include "dose/store/StoreInternals.h"

#include <map>

namespace qvr::dose {

namespace {

const QString kRejudged = QStringLiteral("validity re-judged by response");

// The newest version of each record among rows.
std::map<qint64, Record> latestOf(const std::vector<RowValues>& rows) {
    std::map<qint64, Record> latest;
    for (const RowValues& row : rows) {
        Record r = recordOf(row);
        auto it = latest.find(r.id);
        if (it == latest.end() || it->second.version < r.version)
            latest[r.id] = r;
    }
    return latest;
}

Outcome<QString> addVersion(const Store& store, const Store::Private& d, Record next,
                            const Record& latest, const QStringList& reasons) {
    next.version = latest.version + 1;
    next.reason = reasons.join(QStringLiteral("; "));
    next.operatorName = loginName();
    next.signature.reset(); // the program's version, signed by no one
    next.createdAt = store.clock()();
    auto r = appendRow(d, NewRow{&recordTable(), rowOf(next),
                                 QStringLiteral("record %1 v%2").arg(next.id).arg(next.version),
                                 next.canonical(), next.id});
    if (!r)
        return Failure{r.error()};
    return r->hash;
}

// The failed check among checks that casts doubt on record, if one does.
const ReaderCheck* doubting(const std::vector<ReaderCheck>& checks, const Record& record) {
    if (record.flags.contains(kCheckFailedAfter))
        return nullptr;
    for (const ReaderCheck& c : checks)
        if (doubtedBy(c, checks, record.headSerial, record.wavelengthNm, record.readAt))
            return &c;
    return nullptr;
}

// The schema version from which a mapping dose keeps what it was read with.
constexpr int kMappingReadsVersion = 9;

// A mapping run's reads the failed check casts doubt on, each as a new version of its position's
// dose that no longer counts: flagged, without a value, as a read flagged when it was made is
// stored. The earlier version keeps the dose.
Outcome<QString> flagMappingReadsBefore(Store& store, const Store::Private& d,
                                        const ReaderCheck& failed,
                                        const std::vector<ReaderCheck>& checks) {
    if (d.version < kMappingReadsVersion || !d.has(mappingDoseTable()))
        return QString();
    auto rows = d.select(mappingDoseTable());
    if (!rows)
        return Failure{rows.error()};
    std::map<QString, std::vector<PositionDose>> byRun;
    for (const RowValues& row : *rows) {
        PositionDose dose = positionDoseOf(row);
        byRun[dose.runId].push_back(std::move(dose));
    }
    std::map<qint64, std::optional<Calibration>> calibrations;
    QString head;
    for (const auto& [run, all] : byRun)
        for (const PositionDose& latest : latestDoses(all)) {
            if (!latest.read() || latest.readings.empty() ||
                latest.flags.contains(kCheckFailedAfter))
                continue;
            if (!calibrations.count(latest.calibrationId)) {
                auto c = store.calibration(latest.calibrationId);
                calibrations[latest.calibrationId] =
                    c ? std::optional<Calibration>(*c) : std::nullopt;
            }
            const auto& c = calibrations[latest.calibrationId];
            if (!c || !doubtedBy(failed, checks, c->headSerial, c->wavelengthNm,
                                 latest.readings.back().at))
                continue;
            PositionDose next = latest;
            next.flags << kCheckFailedAfter;
            if (next.state == PositionState::Valid) {
                next.state = PositionState::NoDose;
                next.doseKGy = next.expanded = next.systematicRel = next.randomRel = 0;
            }
            next.operatorName = loginName();
            next.createdAt = store.clock()();
            auto id = nextRowId(d, mappingDoseTable().name);
            if (!id)
                return Failure{id.error()};
            next.id = *id;
            auto r = appendRow(d, NewRow{&mappingDoseTable(), rowOf(next),
                                         QStringLiteral("mapping_dose %1").arg(*id),
                                         next.canonical(), *id});
            if (!r)
                return Failure{r.error()};
            head = r->hash;
        }
    return head;
}

} // namespace

Outcome<Done> rejudgeRecords(Store& store, const Store::Private& d) {
    auto rows = d.select(recordTable());
    if (!rows)
        return Failure{rows.error()};
    auto checks = store.checks();
    if (!checks)
        return Failure{checks.error()};
    std::map<qint64, std::optional<Fit>> fits;
    std::map<qint64, std::optional<Calibration>> calibrations;
    std::map<QString, std::optional<Job>> jobs;
    for (auto& [id, latest] : latestOf(*rows)) {
        // What cannot be read again (a damaged fit, a model of a later program) stays as it is.
        if (!fits.count(latest.fitId)) {
            auto f = store.fit(latest.fitId);
            fits[latest.fitId] = f ? std::optional<Fit>(*f) : std::nullopt;
        }
        if (!calibrations.count(latest.calibrationId)) {
            auto c = store.calibration(latest.calibrationId);
            calibrations[latest.calibrationId] = c ? std::optional<Calibration>(*c) : std::nullopt;
        }
        if (!jobs.count(latest.jobId)) {
            auto j = store.job(latest.jobId);
            jobs[latest.jobId] = j ? std::optional<Job>(*j) : std::nullopt;
        }
        const auto& fit = fits[latest.fitId];
        const auto& calibration = calibrations[latest.calibrationId];
        const auto& job = jobs[latest.jobId];
        Record next = latest;
        QStringList reasons;
        if (fit && calibration && job) {
            Record judged = latest;
            evaluateRecord(judged, *fit, *job, *calibration);
            if ((recordValidity(judged) == Validity::Valid) !=
                (recordValidity(latest) == Validity::Valid)) {
                next = judged;
                reasons << kRejudged;
            }
        }
        if (const ReaderCheck* failed = doubting(*checks, next)) {
            next.flags << kCheckFailedAfter;
            reasons << checkFailedReason(*failed);
        }
        if (reasons.isEmpty())
            continue;
        if (auto r = addVersion(store, d, next, latest, reasons); !r)
            return Failure{r.error()};
    }
    return Done{};
}

Outcome<QString> flagReadsBefore(Store& store, const Store::Private& d, const ReaderCheck& failed) {
    auto rows = d.select(recordTable(), QStringLiteral("head = ? AND wavelength_nm = ?"),
                         {failed.headSerial, failed.wavelengthNm});
    if (!rows)
        return Failure{rows.error()};
    auto checks = store.checks();
    if (!checks)
        return Failure{checks.error()};
    QString head;
    for (auto& [id, latest] : latestOf(*rows)) {
        if (latest.flags.contains(kCheckFailedAfter) ||
            !doubtedBy(failed, *checks, latest.headSerial, latest.wavelengthNm, latest.readAt))
            continue;
        Record next = latest;
        next.flags << kCheckFailedAfter;
        auto r = addVersion(store, d, next, latest, {checkFailedReason(failed)});
        if (!r)
            return Failure{r.error()};
        head = *r;
    }
    auto mapping = flagMappingReadsBefore(store, d, failed, *checks);
    if (!mapping)
        return Failure{mapping.error()};
    return mapping->isEmpty() ? head : *mapping;
}

} // namespace qvr::dose
