// Dose-mapping studies: each part appended to the chain like every other row.

#include "dose/core/MappingApproval.h"
#include "dose/core/MappingRead.h"
#include "dose/core/RecordTexts.h"
#include "dose/store/StoreInternals.h"

#include <cmath>

namespace qvr::dose {

namespace {

constexpr int kReadDosesVersion = 9;

Outcome<Done> mappingKept(const Store::Private& d) {
    if (d.has(mappingStudyTable()))
        return Done{};
    return Failure{QStringLiteral("the dose database %1 is at schema version %2, which keeps no "
                                  "mapping studies: db migrate")
                       .arg(d.location, QString::number(d.version))};
}

bool positiveFinite(double v) {
    return std::isfinite(v) && v > 0;
}

std::optional<QString> studyRefusal(const MappingStudy& s) {
    if (!positiveFinite(s.minRequiredKGy) || !positiveFinite(s.maxAcceptableKGy) ||
        s.minRequiredKGy >= s.maxAcceptableKGy)
        return QStringLiteral("the minimum required dose must be above 0 and below the maximum "
                              "acceptable dose");
    if (s.requiredRuns < kMinimumMappingRuns)
        return QStringLiteral("a study needs at least %1 runs").arg(kMinimumMappingRuns);
    if (!std::isfinite(s.processValue) || s.processValue < 0)
        return QStringLiteral("the process value must be a number of 0 or more");
    return std::nullopt;
}

std::optional<QString> doseRefusal(const PositionDose& d) {
    if (d.state == PositionState::NoDose)
        return std::nullopt;
    if (!positiveFinite(d.doseKGy))
        return QStringLiteral("the dose at %1 must be a number above 0").arg(d.position);
    if (d.state != PositionState::Valid)
        return std::nullopt;
    if (!std::isfinite(d.expanded) || d.expanded < 0 || !positiveFinite(d.coverage) ||
        !std::isfinite(d.randomRel) || d.randomRel < 0 || !std::isfinite(d.systematicRel) ||
        d.systematicRel < 0)
        return QStringLiteral("the uncertainty of the dose at %1 must be a number of 0 or more "
                              "with k above 0")
            .arg(d.position);
    return std::nullopt;
}

} // namespace

Outcome<Receipt> Store::addMappingStudy(MappingStudy study) {
    study.createdAt = now_();
    if (auto texts = acceptTexts(study); !texts)
        return Failure{texts.error()};
    if (auto why = studyRefusal(study))
        return Failure{*why};
    return writeRow(*d_, [&]() -> Outcome<NewRow> {
        if (auto kept = mappingKept(*d_); !kept)
            return Failure{kept.error()};
        auto found = d_->select(mappingStudyTable(), QStringLiteral("id = ?"), {study.id});
        if (!found)
            return Failure{found.error()};
        if (!found->empty())
            return Failure{QStringLiteral("study %1 already exists").arg(study.id)};
        return NewRow{&mappingStudyTable(), rowOf(study),
                      QStringLiteral("mapping_study ") + study.id, study.canonical(), 0};
    });
}

Outcome<Receipt> Store::addMappingPosition(MappingPosition position) {
    position.createdAt = now_();
    if (auto texts = acceptTexts(position); !texts)
        return Failure{texts.error()};
    for (const auto& c : {position.xMm, position.yMm, position.zMm})
        if (c && !std::isfinite(*c))
            return Failure{QStringLiteral("a coordinate must be a number")};
    return writeRow(*d_, [&]() -> Outcome<NewRow> {
        if (auto kept = mappingKept(*d_); !kept)
            return Failure{kept.error()};
        auto study = mappingStudy(position.studyId);
        if (!study)
            return Failure{study.error()};
        if (!study->runs.empty())
            return Failure{QStringLiteral("study %1 has runs; its positions are fixed: a new "
                                          "position needs a new study")
                               .arg(position.studyId)};
        for (const MappingPosition& p : study->positions)
            if (p.id == position.id)
                return Failure{QStringLiteral("study %1 already has position %2")
                                   .arg(position.studyId, position.id)};
        auto id = nextRowId(*d_, mappingPositionTable().name);
        if (!id)
            return Failure{id.error()};
        position.rowId = *id;
        return NewRow{&mappingPositionTable(), rowOf(position),
                      QStringLiteral("mapping_position %1").arg(*id), position.canonical(), *id};
    });
}

Outcome<Receipt> Store::addMappingRun(MappingRun run) {
    run.createdAt = now_();
    if (auto texts = acceptTexts(run); !texts)
        return Failure{texts.error()};
    return writeRow(*d_, [&]() -> Outcome<NewRow> {
        if (auto kept = mappingKept(*d_); !kept)
            return Failure{kept.error()};
        auto study = mappingStudy(run.studyId);
        if (!study)
            return Failure{study.error()};
        if (study->positions.empty())
            return Failure{QStringLiteral("study %1 has no positions yet").arg(run.studyId)};
        if (isApproved(study->approvals))
            return Failure{
                QStringLiteral("study %1 is approved; its runs are closed").arg(run.studyId)};
        auto found = d_->select(mappingRunTable(), QStringLiteral("id = ?"), {run.id});
        if (!found)
            return Failure{found.error()};
        if (!found->empty())
            return Failure{QStringLiteral("run %1 already exists").arg(run.id)};
        return NewRow{&mappingRunTable(), rowOf(run), QStringLiteral("mapping_run ") + run.id,
                      run.canonical(), 0};
    });
}

Outcome<Receipt> Store::addMappingDoses(std::vector<PositionDose> doses) {
    if (doses.empty())
        return Failure{QStringLiteral("no dose to add")};
    for (PositionDose& d : doses) {
        d.createdAt = now_();
        if (auto texts = acceptTexts(d); !texts)
            return Failure{texts.error()};
        if (auto why = doseRefusal(d))
            return Failure{*why};
    }
    Receipt last;
    auto done = writeTransaction(*d_, [&]() -> Outcome<Done> {
        if (auto kept = mappingKept(*d_); !kept)
            return Failure{kept.error()};
        std::optional<MappingStudyRecords> study;
        for (PositionDose& d : doses) {
            if (!study || std::none_of(study->runs.begin(), study->runs.end(),
                                       [&](const MappingRun& r) { return r.id == d.runId; })) {
                auto run = d_->select(mappingRunTable(), QStringLiteral("id = ?"), {d.runId});
                if (!run)
                    return Failure{run.error()};
                if (run->empty())
                    return Failure{QStringLiteral("no run %1").arg(d.runId)};
                auto s = mappingStudy(mappingRunOf(run->front()).studyId);
                if (!s)
                    return Failure{s.error()};
                study = std::move(*s);
            }
            if (d.read()) {
                if (d_->version < kReadDosesVersion)
                    return Failure{QStringLiteral("the dose database %1 is at schema version %2, "
                                                  "which keeps no mapping reads: db migrate")
                                       .arg(d_->location, QString::number(d_->version))};
                if (auto why = mappingReadRefusal(*study, d.runId, d.position))
                    return Failure{*why};
            }
            if (isApproved(study->approvals))
                return Failure{QStringLiteral("study %1 is approved; its runs are closed")
                                   .arg(study->study.id)};
            if (std::none_of(study->positions.begin(), study->positions.end(),
                             [&](const MappingPosition& p) { return p.id == d.position; }))
                return Failure{
                    QStringLiteral("study %1 has no position %2").arg(study->study.id, d.position)};
            auto id = nextRowId(*d_, mappingDoseTable().name);
            if (!id)
                return Failure{id.error()};
            d.id = *id;
            auto r = appendRow(*d_, NewRow{&mappingDoseTable(), rowOf(d),
                                           QStringLiteral("mapping_dose %1").arg(*id),
                                           d.canonical(), *id});
            if (!r)
                return Failure{r.error()};
            last = *r;
            for (MappingRun& run : study->runs)
                if (run.id == d.runId)
                    run.doses.push_back(d); // a second read in this write sees the first
        }
        return Done{};
    });
    if (!done)
        return Failure{done.error()};
    return last;
}

Outcome<Receipt> Store::addMappingApproval(MappingApproval approval) {
    approval.createdAt = now_();
    if (auto texts = acceptTexts(approval); !texts)
        return Failure{texts.error()};
    return writeRow(*d_, [&]() -> Outcome<NewRow> {
        if (auto kept = mappingKept(*d_); !kept)
            return Failure{kept.error()};
        auto study = mappingStudy(approval.studyId);
        if (!study)
            return Failure{study.error()};
        if (auto why = approvalRefusal(*study, approval))
            return Failure{*why};
        auto head = headHash();
        if (!head)
            return Failure{head.error()};
        approval.chainHead = *head;
        auto id = nextRowId(*d_, mappingApprovalTable().name);
        if (!id)
            return Failure{id.error()};
        approval.id = *id;
        return NewRow{&mappingApprovalTable(), rowOf(approval),
                      QStringLiteral("mapping_approval %1").arg(*id), approval.canonical(), *id};
    });
}

Outcome<std::vector<MappingStudy>> Store::mappingStudies() {
    std::vector<MappingStudy> out;
    if (!d_->has(mappingStudyTable()))
        return out;
    auto rows = d_->select(mappingStudyTable());
    if (!rows)
        return Failure{rows.error()};
    for (const RowValues& r : *rows)
        out.push_back(mappingStudyOf(r));
    return out;
}

Outcome<MappingStudyRecords> Store::mappingStudyOfRun(const QString& runId) {
    if (auto kept = mappingKept(*d_); !kept)
        return Failure{kept.error()};
    auto run = d_->select(mappingRunTable(), QStringLiteral("id = ?"), {runId});
    if (!run)
        return Failure{run.error()};
    if (run->empty())
        return Failure{QStringLiteral("no run %1").arg(runId)};
    return mappingStudy(mappingRunOf(run->front()).studyId);
}

Outcome<MappingStudyRecords> Store::mappingStudy(const QString& id) {
    if (auto kept = mappingKept(*d_); !kept)
        return Failure{kept.error()};
    const QVariantList key{id};
    auto study = d_->select(mappingStudyTable(), QStringLiteral("id = ?"), key);
    if (!study)
        return Failure{study.error()};
    if (study->empty())
        return Failure{QStringLiteral("no study %1").arg(id)};
    MappingStudyRecords out;
    out.study = mappingStudyOf(study->front());
    auto positions = d_->select(mappingPositionTable(), QStringLiteral("study_id = ?"), key);
    if (!positions)
        return Failure{positions.error()};
    for (const RowValues& r : *positions)
        out.positions.push_back(mappingPositionOf(r));
    auto runs = d_->select(mappingRunTable(), QStringLiteral("study_id = ?"), key);
    if (!runs)
        return Failure{runs.error()};
    for (const RowValues& r : *runs) {
        MappingRun run = mappingRunOf(r);
        auto doses = d_->select(mappingDoseTable(), QStringLiteral("run_id = ?"), {run.id});
        if (!doses)
            return Failure{doses.error()};
        std::vector<PositionDose> all;
        for (const RowValues& d : *doses)
            all.push_back(positionDoseOf(d));
        run.doses = latestDoses(all);
        out.doses.insert(out.doses.end(), all.begin(), all.end());
        out.runs.push_back(std::move(run));
    }
    auto approvals = d_->select(mappingApprovalTable(), QStringLiteral("study_id = ?"), key);
    if (!approvals)
        return Failure{approvals.error()};
    for (const RowValues& r : *approvals)
        out.approvals.push_back(mappingApprovalOf(r));
    return out;
}

} // namespace qvr::dose
