#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"
#include "dose/core/MappingSummary.h"
#include "dose/core/MappingText.h"
#include "dose/usecases/MappingImport.h"
#include "dose/usecases/StudyApproval.h"
#include "dose/usecases/StudyReport.h"

namespace qvr::dose {

namespace {

constexpr Quantity kMappingRuns{kMinimumMappingRuns, 100, false, "", true};
constexpr Quantity kPositionMm{-1e5, 1e5, false, "mm"};

QJsonValue doseAtJson(const std::optional<DoseAt>& d) {
    if (!d)
        return QJsonValue();
    return QJsonObject{{"position", d->position},
                       {"dose_kGy", jsonNumber(d->doseKGy)},
                       {"U_kGy", d->bound ? QJsonValue() : jsonNumber(d->expanded)},
                       {"bound", d->bound}};
}

// The approval in force: by whom, when and the signature; null when none is.
QJsonValue approvalJson(const std::vector<MappingApproval>& approvals) {
    if (!isApproved(approvals))
        return QJsonValue();
    const MappingApproval& a = approvals.back();
    return QJsonObject{{"approval", a.id},
                       {"approver", a.approver},
                       {"reason", a.reason},
                       {"created_at", timeText(a.createdAt)},
                       {"signature", signatureJson(a.signature, a.approver)}};
}

QJsonObject studyJson(const MappingStudy& s, bool approved) {
    return {{"id", s.id},
            {"product", s.product},
            {"loading_pattern", s.loadingPattern},
            {"irradiator", s.irradiator},
            {"source_path", s.sourcePath},
            {"process", s.processText},
            {"process_value", jsonNumber(s.processValue)},
            {"process_unit", s.processUnit},
            {"min_required_kGy", jsonNumber(s.minRequiredKGy)},
            {"max_acceptable_kGy", jsonNumber(s.maxAcceptableKGy)},
            {"required_runs", s.requiredRuns},
            {"training", s.training},
            {"approved", approved},
            {"operator", s.operatorName},
            {"created_at", timeText(s.createdAt)}};
}

int mappingAdd(Ctx& ctx) {
    MappingStudy s;
    s.id = ctx.positional[0];
    const auto lo = ctx.number(QStringLiteral("min-required"), kDoseKGy);
    const auto hi = ctx.number(QStringLiteral("max-acceptable"), kDoseKGy);
    const auto runs = ctx.number(QStringLiteral("runs"), kMappingRuns);
    const auto value = ctx.number(QStringLiteral("process-value"), kProcessValue);
    if (ctx.usageError())
        return kUsage;
    if (!(*lo < *hi))
        return ctx.usage(QStringLiteral("--min-required must be below --max-acceptable"));
    const QString unit = ctx.value(QStringLiteral("process-unit"));
    if (value.has_value() != ctx.has(QStringLiteral("process-unit")))
        return ctx.usage(QStringLiteral("--process-value and --process-unit go together"));
    if (value && unit != QLatin1String("min") && unit != QLatin1String("m/min"))
        return ctx.usage(QStringLiteral("--process-unit is min (a timer) or m/min (a conveyor)"));
    s.minRequiredKGy = *lo;
    s.maxAcceptableKGy = *hi;
    s.requiredRuns = runs ? int(*runs) : kMinimumMappingRuns;
    s.processValue = value.value_or(0);
    s.processUnit = unit;
    s.product = ctx.value(QStringLiteral("product"));
    s.loadingPattern = ctx.value(QStringLiteral("loading-pattern"));
    s.irradiator = ctx.value(QStringLiteral("irradiator"));
    s.sourcePath = ctx.value(QStringLiteral("source-path"));
    s.processText = ctx.value(QStringLiteral("process"));
    s.training = ctx.has(QStringLiteral("training"));
    s.operatorName = ctx.env.operatorName;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = store->addMappingStudy(s);
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"id", s.id}, {"chain_head", r->hash}});
    ctx.print(QStringLiteral("study %1 added").arg(s.id));
    return ctx.done(r->hash);
}

int positionAdd(Ctx& ctx) {
    MappingPosition p;
    p.studyId = ctx.positional[0];
    p.id = ctx.positional[1];
    p.layer = ctx.value(QStringLiteral("layer"));
    p.xMm = ctx.number(QStringLiteral("x-mm"), kPositionMm);
    p.yMm = ctx.number(QStringLiteral("y-mm"), kPositionMm);
    p.zMm = ctx.number(QStringLiteral("z-mm"), kPositionMm);
    if (ctx.usageError())
        return kUsage;
    p.monitoring = ctx.has(QStringLiteral("monitoring"));
    p.operatorName = ctx.env.operatorName;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = store->addMappingPosition(p);
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(
            QJsonObject{{"study", p.studyId}, {"position", p.id}, {"chain_head", r->hash}});
    ctx.print(
        QStringLiteral("position %1 added to study %2%3")
            .arg(p.id, p.studyId, p.monitoring ? QStringLiteral(" (monitoring)") : QString()));
    return ctx.done(r->hash);
}

int runAdd(Ctx& ctx) {
    MappingRun run;
    run.studyId = ctx.positional[0];
    run.id = ctx.positional[1];
    run.operatorName = ctx.env.operatorName;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = store->addMappingRun(run);
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(
            QJsonObject{{"study", run.studyId}, {"run", run.id}, {"chain_head", r->hash}});
    ctx.print(QStringLiteral("run %1 added to study %2").arg(run.id, run.studyId));
    return ctx.done(r->hash);
}

int import(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = importMappingDoses(*store, ctx.positional[0], ctx.value(QStringLiteral("csv")),
                                ctx.env.operatorName);
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{
            {"run", ctx.positional[0]}, {"doses", r->doses}, {"chain_head", r->receipt.hash}});
    ctx.print(QStringLiteral("%1 imported doses added to run %2")
                  .arg(QString::number(r->doses), ctx.positional[0]));
    return ctx.done(r->receipt.hash);
}

int summary(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto study = store->mappingStudy(ctx.positional[0]);
    if (!study)
        return ctx.refuse(study.error());
    const MappingSummary s = summarizeMapping(study->study, study->positions, study->runs);
    const bool approved = isApproved(study->approvals);
    if (ctx.json) {
        QJsonArray runs, monitoring;
        for (const RunResult& r : s.runs)
            runs.append(QJsonObject{{"run", r.run},
                                    {"dmin", doseAtJson(r.dmin)},
                                    {"dmax", doseAtJson(r.dmax)},
                                    {"dur", r.dur ? jsonNumber(*r.dur) : QJsonValue()},
                                    {"U_dur", r.dur ? jsonNumber(r.uDur) : QJsonValue()},
                                    {"missing", QJsonArray::fromStringList(r.missing)}});
        for (const RatioResult& r : s.ratios)
            monitoring.append(QJsonObject{{"position", r.monitoring},
                                          {"ratio_min", jsonNumber(r.meanMin)},
                                          {"ratio_max", jsonNumber(r.meanMax)},
                                          {"sd_ratio_min", jsonNumber(r.sdMin)},
                                          {"sd_ratio_max", jsonNumber(r.sdMax)},
                                          {"U_ratio_min", jsonNumber(r.uMin)},
                                          {"U_ratio_max", jsonNumber(r.uMax)},
                                          {"runs", r.runs}});
        return ctx.printJson(QJsonObject{{"study", studyJson(study->study, approved)},
                                         {"dmin", doseAtJson(s.dmin)},
                                         {"dmax", doseAtJson(s.dmax)},
                                         {"dur", s.dur ? jsonNumber(*s.dur) : QJsonValue()},
                                         {"U_dur", s.dur ? jsonNumber(s.uDur) : QJsonValue()},
                                         {"k", jsonNumber(s.coverage)},
                                         {"min_zone", QJsonArray::fromStringList(s.minZone)},
                                         {"max_zone", QJsonArray::fromStringList(s.maxZone)},
                                         {"monitoring", monitoring},
                                         {"per_run", runs},
                                         {"blockers", QJsonArray::fromStringList(s.blockers)},
                                         {"approval", approvalJson(study->approvals)}});
    }
    const MappingStudy& m = study->study;
    ctx.print(QStringLiteral("study %1  %2  %3 runs of %4 required  %5")
                  .arg(m.id, m.product.isEmpty() ? QStringLiteral("-") : m.product,
                       QString::number(s.runs.size()), QString::number(m.requiredRuns),
                       approved ? QStringLiteral("approved") : QStringLiteral("not approved")));
    if (approved) {
        const MappingApproval& a = study->approvals.back();
        ctx.print(
            QStringLiteral("approval: %1").arg(signatureOrAttribution(a.signature, a.approver)));
    }
    for (const RunResult& r : s.runs)
        ctx.print(QStringLiteral("run %1: Dmin %2, Dmax %3, DUR %4")
                      .arg(r.run, doseAtText(r.dmin, "<"), doseAtText(r.dmax, ">"),
                           r.dur ? valueWithU(*r.dur, r.uDur) : QStringLiteral("-")));
    ctx.print(QStringLiteral("mean over the runs (U at k = %1): Dmin %2, Dmax %3, DUR %4")
                  .arg(numberText(s.coverage), doseAtText(s.dmin, "<"), doseAtText(s.dmax, ">"),
                       s.dur ? valueWithU(*s.dur, s.uDur) : QStringLiteral("-")));
    ctx.print(QStringLiteral("minimum zone: %1").arg(listText(s.minZone)));
    ctx.print(QStringLiteral("maximum zone: %1").arg(listText(s.maxZone)));
    for (const RatioResult& r : s.ratios)
        ctx.print(QStringLiteral("monitoring %1 (%2 runs): Dmin/Dmon %3 (SD %4), "
                                 "Dmax/Dmon %5 (SD %6)")
                      .arg(r.monitoring, QString::number(r.runs), valueWithU(r.meanMin, r.uMin),
                           QString::number(r.sdMin, 'g', 2), valueWithU(r.meanMax, r.uMax),
                           QString::number(r.sdMax, 'g', 2)));
    for (const QString& b : s.blockers)
        ctx.print(QStringLiteral("blocks approval: %1").arg(b));
    return kOk;
}

int approve(Ctx& ctx) {
    Signer* signer = ctx.signer();
    if (!signer)
        return kRefused;
    Store* store = ctx.store();
    const QString& study = ctx.positional[0];
    auto r = approveStudy(*store, *signer, study, ctx.value(QStringLiteral("reason")),
                          ctx.env.operatorName);
    if (!r)
        return ctx.refuse(r.error());
    auto records = store->mappingStudy(study);
    if (!records)
        return ctx.refuse(records.error());
    const MappingApproval& made = records->approvals.back();
    if (ctx.json)
        return ctx.printJson(
            QJsonObject{{"study", study},
                        {"approval", r->id},
                        {"approver", made.approver},
                        {"signature", signatureJson(made.signature, made.approver)},
                        {"chain_head", r->hash}});
    ctx.print(approvalText(study, made.approver) + QStringLiteral("; ") +
              signatureOrAttribution(made.signature, made.approver));
    return ctx.done(r->hash);
}

int list(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto all = store->mappingStudies();
    if (!all)
        return ctx.refuse(all.error());
    QJsonArray a;
    for (const MappingStudy& s : *all) {
        auto full = store->mappingStudy(s.id);
        if (!full)
            return ctx.refuse(full.error());
        const bool approved = isApproved(full->approvals);
        if (ctx.json)
            a.append(studyJson(s, approved));
        else
            ctx.print(QStringLiteral("%1  %2  %3 positions  %4 runs  %5 to %6 kGy%7%8")
                          .arg(s.id, s.product.isEmpty() ? QStringLiteral("-") : s.product,
                               QString::number(full->positions.size()),
                               QString::number(full->runs.size()), numberText(s.minRequiredKGy),
                               numberText(s.maxAcceptableKGy),
                               approved ? QStringLiteral("  approved") : QString(),
                               s.training ? QStringLiteral("  training") : QString()));
    }
    if (ctx.json)
        return ctx.printJson(a);
    return kOk;
}

int report(Ctx& ctx) {
    const QString path = ctx.value(QStringLiteral("pdf"));
    if (path.isEmpty())
        return ctx.usage(QStringLiteral("--pdf needs the file to write"));
    if (!ctx.env.writeStudyPdf)
        return ctx.refuse(QStringLiteral("this program cannot write PDF files"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto built = buildStudyReport(*store, ctx.positional[0], ctx.env.now());
    if (!built)
        return ctx.refuse(built.error());
    auto pages = ctx.env.writeStudyPdf(*built, path);
    if (!pages)
        return ctx.refuse(pages.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"report", built->id},
                                         {"pages", *pages},
                                         {"file", path},
                                         {"chain_head", built->chainHead}});
    ctx.print(QStringLiteral("report %1 (%2 pages) written to %3")
                  .arg(built->id, QString::number(*pages), path));
    return kOk;
}

} // namespace

QJsonObject positionDoseJson(const PositionDose& d) {
    const bool valid = d.state == PositionState::Valid;
    QJsonObject o{
        {"id", d.id},
        {"run", d.runId},
        {"position", d.position},
        {"dosimeter", d.dosimeter},
        {"state", positionStateName(d.state)},
        {"dose_kGy", d.state == PositionState::NoDose ? QJsonValue() : jsonNumber(d.doseKGy)},
        {"U_kGy", valid ? jsonNumber(d.expanded) : QJsonValue()},
        {"k", valid ? jsonNumber(d.coverage) : QJsonValue()},
        {"u_systematic_rel", valid ? jsonNumber(d.systematicRel) : QJsonValue()},
        {"u_random_rel", valid ? jsonNumber(d.randomRel) : QJsonValue()},
        {"imported", d.imported},
        {"source", d.source},
        {"operator", d.operatorName},
        {"created_at", timeText(d.createdAt)}};
    if (d.read()) {
        QJsonArray readings;
        for (const Reading& x : d.readings)
            readings.append(QJsonObject{{"at", timeText(x.at)}, {"A", jsonNumber(x.absorbance)}});
        o.insert("calibration", d.calibrationId);
        o.insert("calibration_version", d.calibrationVersion);
        o.insert("fit", d.fitId);
        o.insert("batch_version", d.batchVersion);
        o.insert("readings", readings);
        o.insert("flags", QJsonArray::fromStringList(d.flags));
    }
    return o;
}

void addMappingCommands(std::vector<Command>& c) {
    c.push_back(
        {QStringLiteral("mapping add"),
         QStringLiteral("mapping add STUDY --min-required kGy --max-acceptable kGy "
                        "[--product TEXT] [--loading-pattern TEXT] [--irradiator TEXT] "
                        "[--source-path TEXT] [--process TEXT] [--process-value V "
                        "--process-unit min|m/min] [--runs N] [--training]"),
         QStringLiteral("Adds a dose-mapping study of a product in one loading pattern "
                        "on one irradiator path, with the minimum dose it requires and "
                        "the maximum it accepts. --runs: the runs it needs (3 or more, "
                        "3 by default). A change of loading pattern, source or path "
                        "needs a new study."),
         {QStringLiteral("min-required"), QStringLiteral("max-acceptable"),
          QStringLiteral("product"), QStringLiteral("loading-pattern"),
          QStringLiteral("irradiator"), QStringLiteral("source-path"), QStringLiteral("process"),
          QStringLiteral("process-value"), QStringLiteral("process-unit"), QStringLiteral("runs")},
         {QStringLiteral("training")},
         {QStringLiteral("min-required"), QStringLiteral("max-acceptable")},
         1,
         mappingAdd});
    c.push_back({QStringLiteral("mapping position add"),
                 QStringLiteral("mapping position add STUDY POSITION [--layer L] [--x-mm X] "
                                "[--y-mm Y] [--z-mm Z] [--monitoring]"),
                 QStringLiteral("Adds a dosimeter position to a study before its first run; "
                                "--monitoring marks a routine monitoring position."),
                 {QStringLiteral("layer"), QStringLiteral("x-mm"), QStringLiteral("y-mm"),
                  QStringLiteral("z-mm")},
                 {QStringLiteral("monitoring")},
                 {},
                 2,
                 positionAdd});
    c.push_back({QStringLiteral("mapping run add"),
                 QStringLiteral("mapping run add STUDY RUN"),
                 QStringLiteral("Adds a mapping run (one irradiation of the dosimetered load) "
                                "to a study."),
                 {},
                 {},
                 {},
                 2,
                 runAdd});
    c.push_back({QStringLiteral("mapping import"),
                 QStringLiteral("mapping import RUN --csv FILE"),
                 QStringLiteral("Adds a run's doses read by another system, from CSV with the "
                                "columns position,dosimeter,dose_kGy,U_kGy,k,source; each is "
                                "flagged imported with its source. A later dose of a position "
                                "replaces an earlier one in the results; both are kept."),
                 {QStringLiteral("csv")},
                 {},
                 {QStringLiteral("csv")},
                 1,
                 import});
    c.push_back({QStringLiteral("mapping summary"),
                 QStringLiteral("mapping summary STUDY"),
                 QStringLiteral("Shows each run's Dmin, Dmax and DUR, the study's minimum and "
                                "maximum positions and zones, the ratios to each monitoring "
                                "position with their expanded uncertainty, and what blocks "
                                "approval."),
                 {},
                 {},
                 {},
                 1,
                 summary});
    c.push_back({QStringLiteral("mapping approve"),
                 QStringLiteral("mapping approve STUDY [--reason TEXT]"),
                 QStringLiteral("Approves a study for routine monitoring. Only a login that made "
                                "no part of it may, and only when nothing blocks approval; a "
                                "training study never is."),
                 {QStringLiteral("reason")},
                 {},
                 {},
                 1,
                 approve});
    c.push_back({QStringLiteral("mapping report"),
                 QStringLiteral("mapping report STUDY --pdf FILE"),
                 QStringLiteral("Writes the study's report as PDF, the same the window writes: "
                                "the study, its positions, every run's doses and results, the "
                                "study's results and zones, the ratios with U and k, the heat "
                                "maps, and the approval or what blocks it."),
                 {QStringLiteral("pdf")},
                 {},
                 {QStringLiteral("pdf")},
                 1,
                 report});
    c.push_back({QStringLiteral("mapping list"),
                 QStringLiteral("mapping list"),
                 QStringLiteral("Lists the mapping studies."),
                 {},
                 {},
                 {},
                 0,
                 list});
}

} // namespace qvr::dose
