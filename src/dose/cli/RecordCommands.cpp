#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/core/Decision.h"
#include "dose/core/DoseText.h"
#include "dose/core/DualRecord.h"
#include "dose/core/MappingText.h"
#include "dose/core/RoutineJob.h"
#include "dose/usecases/JobRecords.h"
#include "dose/usecases/JobReview.h"
#include "dose/usecases/RecordCorrection.h"
#include "dose/usecases/RecordsCsv.h"

#include <QRegularExpression>
#include <map>

namespace qvr::dose {

namespace {

// A record version that replaces an earlier one: a correction, or the program's own.
bool isCorrection(const Record& r) {
    return r.version > 1;
}

QJsonArray readingsJson(const std::vector<Reading>& readings) {
    QJsonArray a;
    for (const Reading& x : readings)
        a.append(QJsonObject{{"at", timeText(x.at)}, {"A", jsonNumber(x.absorbance)}});
    return a;
}

// What a read of a routine job infers through its study, quoting the ratios used; the doses are
// null, with the reason, where the read gives none.
QJsonObject inferredJson(const Record& r, const RoutineSummary& routine) {
    const RatioResult& q = routine.ratio;
    const RecordInference i = inferRecord(r, routine);
    auto value = [&](double InferredDoses::*field) {
        return i.inferred ? jsonNumber((*i.inferred).*field) : QJsonValue();
    };
    auto ratio = [&](double v) { return q.runs > 0 ? jsonNumber(v) : QJsonValue(); };
    return {
        {"study", routine.study.id},
        {"position", q.monitoring},
        {"ratio_min", ratio(q.meanMin)},
        {"U_ratio_min", ratio(q.uMin)},
        {"ratio_max", ratio(q.meanMax)},
        {"U_ratio_max", ratio(q.uMax)},
        {"dmin_kGy", value(&InferredDoses::dminKGy)},
        {"U_dmin_kGy", value(&InferredDoses::uDminKGy)},
        {"dmax_kGy", value(&InferredDoses::dmaxKGy)},
        {"U_dmax_kGy", value(&InferredDoses::uDmaxKGy)},
        {"k", value(&InferredDoses::coverage)},
        {"decision", i.inferred ? QJsonValue(decisionWords(i.inferred->decision)) : QJsonValue()},
        {"no_inference", i.inferred ? QJsonValue() : QJsonValue(i.why)}};
}

// Each wavelength's dose: the one of a single read, both of a read at both wavelengths.
QJsonArray dosesJson(const Record& r) {
    const int version = std::max(1, r.calibrationVersion);
    if (!r.second)
        return {wavelengthDoseJson(
            {r.wavelengthNm, r.calibrationId, version, r.fitId, r.absorbance, &r.result, 1})};
    const SecondRead& s = *r.second;
    return {wavelengthDoseJson({r.wavelengthNm, r.calibrationId, version, r.fitId, r.absorbance,
                                &s.first, s.weightFirst}),
            wavelengthDoseJson({s.wavelengthNm, s.calibrationId, std::max(1, s.calibrationVersion),
                                s.fitId, s.absorbance, &s.second, 1 - s.weightFirst})};
}

QJsonObject singleRecordJson(const Record& r);

// What a read at both wavelengths adds: the second read, both doses and their agreement.
void addDualJson(QJsonObject& o, const Record& r) {
    o.insert("doses", dosesJson(r));
    o.insert("agreement",
             r.second ? agreementJson(r.second->hasAgreement, r.second->agreement) : QJsonValue());
    if (!r.second)
        return;
    o.insert("second_readings", readingsJson(r.second->readings));
    o.insert("second_zero", r.second->zeroText);
    o.insert("dual_outcome", dualOutcomeName(r.second->outcome));
    o.insert("dual_note", r.second->note);
}

} // namespace

QJsonObject recordJson(const Record& r) {
    QJsonObject o = singleRecordJson(r);
    addDualJson(o, r);
    // A read is attributed; a correction is signed.
    o.insert("signature", isCorrection(r) ? QJsonValue(signatureJson(r.signature, r.operatorName))
                                          : QJsonValue());
    return o;
}

namespace {

QJsonObject singleRecordJson(const Record& r) {
    const QJsonArray readings = readingsJson(r.readings);
    auto time = [](const QDateTime& t) {
        return t.isValid() ? QJsonValue(timeText(t)) : QJsonValue();
    };
    return {{"record", r.id},
            {"version", r.version},
            {"reason", r.reason},
            {"job", r.jobId},
            {"dosimeter", r.dosimeter},
            {"irradiated_at", time(r.irradiatedAt)},
            {"read_at", time(r.readAt)},
            {"calibration", r.calibrationId},
            {"fit", r.fitId},
            {"batch", r.batchId},
            {"wavelength_nm", r.wavelengthNm},
            {"head", r.headSerial},
            {"simulated", r.simulated},
            {"readings", readings},
            {"zero", r.zeroText},
            {"absorbance", jsonNumber(r.absorbance)},
            {"a0", r.a0},
            {"thickness_um", r.thicknessUm},
            {"u_thickness_um", r.uThicknessUm},
            {"thickness_measured", r.thicknessMeasured},
            {"response", jsonNumber(r.result.response)},
            {"dose_kGy", jsonNumber(r.result.dose)},
            {"U_kGy", jsonNumber(r.result.expanded)},
            {"k", jsonNumber(r.result.coverage)},
            {"dof", r.result.budget >= 2 ? jsonNumber(r.result.dof) : QJsonValue()},
            {"calibration_version", std::max(1, r.calibrationVersion)},
            {"batch_version", std::max(1, r.batchVersion)},
            {"budget", r.result.budget},
            {"in_range", recordValidity(r) == Validity::Valid},
            {"components", componentsJson(r.result.components)},
            {"reread", r.reread},
            {"flags", QJsonArray::fromStringList(r.flags)},
            {"operator", r.operatorName},
            {"comment", r.comment},
            {"created_at", timeText(r.createdAt)}};
}

QJsonObject jobJson(const Job& j) {
    auto optional = [](const std::optional<double>& v) {
        return v ? QJsonValue(*v) : QJsonValue();
    };
    QJsonObject o{{"id", j.id},
                  {"product", j.product},
                  {"dmin_kGy", optional(j.dminKGy)},
                  {"dmax_kGy", optional(j.dmaxKGy)},
                  {"decision_rule", ruleName(j.rule)},
                  {"training", j.training},
                  {"wavelengths", wavelengthsName(j.bothWavelengths)},
                  {"operator", j.operatorName},
                  {"created_at", timeText(j.createdAt)}};
    if (j.routine()) {
        o.insert("study", j.studyId);
        o.insert("position", j.monitoringPosition);
        o.insert("process_value", jsonNumber(j.processValue));
        o.insert("process_unit", j.processUnit);
    }
    return o;
}

QString jobLine(const Job& j) {
    auto limit = [](const std::optional<double>& v) {
        return v ? numberText(*v) : QStringLiteral("-");
    };
    return QStringLiteral("%1  %2  Dmin %3 kGy  Dmax %4 kGy  %5 rule%6%7")
        .arg(j.id, j.product.isEmpty() ? QStringLiteral("-") : j.product, limit(j.dminKGy),
             limit(j.dmaxKGy), ruleName(j.rule),
             j.training ? QStringLiteral("  training") : QString(),
             j.bothWavelengths ? QStringLiteral("  both wavelengths") : QString());
}

QJsonArray correctionsJson(const std::vector<Record>& records) {
    QJsonArray out;
    for (const Record& r : records)
        if (isCorrection(r))
            out.append(QJsonObject{{"record", r.id},
                                   {"version", r.version},
                                   {"reason", r.reason},
                                   {"operator", r.operatorName},
                                   {"created_at", timeText(r.createdAt)},
                                   {"signature", signatureJson(r.signature, r.operatorName)}});
    return out;
}

// Who changed the job's records, then who reviewed it.
void printSigned(Ctx& ctx, const std::vector<Record>& records, const std::vector<Review>& reviews) {
    for (const Record& r : records)
        if (isCorrection(r))
            ctx.print(QStringLiteral("record %1 v%2 (%3): %4")
                          .arg(QString::number(r.id), QString::number(r.version), r.reason,
                               signatureOrAttribution(r.signature, r.operatorName)));
    for (const Review& r : reviews)
        ctx.print(QStringLiteral("%1%2; %3")
                      .arg(reviewText(r),
                           r.reason.isEmpty() ? QString() : QStringLiteral(": ") + r.reason,
                           reviewSignatureText(r)));
}

// What a routine job's reads infer, through the study they name.
int showRoutine(Ctx& ctx, const JobRecords& shown, QJsonObject o,
                const std::vector<Review>& reviews) {
    const Job& j = shown.job;
    const RoutineSummary& s = *shown.routine;
    const RatioResult& q = s.ratio;
    if (ctx.json) {
        QJsonArray reads;
        for (const RoutineRead& r : s.reads)
            reads.append(QJsonObject{{"record", r.record},
                                     {"dosimeter", r.dosimeter},
                                     {"dose_kGy", jsonNumber(r.doseKGy)},
                                     {"U_kGy", jsonNumber(r.expanded)},
                                     {"dmin_kGy", jsonNumber(r.inferred.dminKGy)},
                                     {"U_dmin_kGy", jsonNumber(r.inferred.uDminKGy)},
                                     {"dmax_kGy", jsonNumber(r.inferred.dmaxKGy)},
                                     {"U_dmax_kGy", jsonNumber(r.inferred.uDmaxKGy)},
                                     {"k", jsonNumber(r.inferred.coverage)},
                                     {"decision", decisionWords(r.inferred.decision)}});
        o.insert("mapping", QJsonObject{{"study", s.study.id},
                                        {"approved_by", s.approval.approver},
                                        {"approved_at", timeText(s.approval.createdAt)},
                                        {"min_required_kGy", s.study.minRequiredKGy},
                                        {"max_acceptable_kGy", s.study.maxAcceptableKGy},
                                        {"ratio_min", jsonNumber(q.meanMin)},
                                        {"U_ratio_min", jsonNumber(q.uMin)},
                                        {"ratio_max", jsonNumber(q.meanMax)},
                                        {"U_ratio_max", jsonNumber(q.uMax)},
                                        {"runs", q.runs}});
        o.insert("inferred", reads);
        o.insert("decision", decisionWords(s.decision));
        return ctx.printJson(o);
    }
    ctx.print(jobLine(j));
    ctx.print(QStringLiteral("routine: study %1 (approved by %2 at %3), monitoring position %4, "
                             "process %5 %6")
                  .arg(s.study.id, s.approval.approver, timeText(s.approval.createdAt),
                       j.monitoringPosition, numberText(j.processValue), j.processUnit));
    ctx.print(QStringLiteral("ratios over %1 runs: Dmin/Dmon %2, Dmax/Dmon %3 (k = 2); required "
                             "%4 kGy, acceptable %5 kGy, %6 rule")
                  .arg(QString::number(q.runs), valueWithU(q.meanMin, q.uMin),
                       valueWithU(q.meanMax, q.uMax), numberText(s.study.minRequiredKGy),
                       numberText(s.study.maxAcceptableKGy), ruleName(j.rule)));
    for (const RoutineRead& r : s.reads)
        ctx.print(QStringLiteral("record %1 %2: %3 kGy -> Dmin %4 kGy, Dmax %5 kGy (k = %6): %7")
                      .arg(QString::number(r.record), r.dosimeter,
                           valueWithU(r.doseKGy, r.expanded),
                           valueWithU(r.inferred.dminKGy, r.inferred.uDminKGy),
                           valueWithU(r.inferred.dmaxKGy, r.inferred.uDmaxKGy),
                           numberText(r.inferred.coverage), decisionWords(r.inferred.decision)));
    ctx.print(QStringLiteral("decision: %1").arg(decisionWords(s.decision)));
    printSigned(ctx, shown.records, reviews);
    return kOk;
}

// The study, monitoring position and process parameter of a routine job; a usage error.
std::optional<int> routineOptions(Ctx& ctx, Job& j) {
    const auto value = ctx.number(QStringLiteral("process-value"), kProcessValue);
    if (ctx.usageError())
        return kUsage;
    const bool study = ctx.has(QStringLiteral("study"));
    if (study != ctx.has(QStringLiteral("position")))
        return ctx.usage(QStringLiteral("--study and --position go together"));
    if (!study && (value || ctx.has(QStringLiteral("process-unit"))))
        return ctx.usage(QStringLiteral("--process-value and --process-unit need --study"));
    if (value.has_value() != ctx.has(QStringLiteral("process-unit")))
        return ctx.usage(QStringLiteral("--process-value and --process-unit go together"));
    j.studyId = ctx.value(QStringLiteral("study"));
    j.monitoringPosition = ctx.value(QStringLiteral("position"));
    j.processValue = value.value_or(0);
    j.processUnit = ctx.value(QStringLiteral("process-unit"));
    return std::nullopt;
}

int jobAdd(Ctx& ctx) {
    Job j;
    j.id = ctx.positional[0];
    j.product = ctx.value(QStringLiteral("product"));
    j.dminKGy = ctx.number(QStringLiteral("dmin"), kDoseKGy);
    j.dmaxKGy = ctx.number(QStringLiteral("dmax"), kDoseKGy);
    if (ctx.usageError())
        return kUsage;
    if (ctx.has(QStringLiteral("decision-rule"))) {
        const auto rule = ruleFromName(ctx.value(QStringLiteral("decision-rule")));
        if (!rule)
            return ctx.usage(QStringLiteral("--decision-rule is guarded or simple"));
        j.rule = *rule;
    }
    if (ctx.has(QStringLiteral("wavelengths"))) {
        const auto both = wavelengthsFromName(ctx.value(QStringLiteral("wavelengths")));
        if (!both)
            return ctx.usage(QStringLiteral("--wavelengths is one or both"));
        j.bothWavelengths = *both;
    }
    if (j.dminKGy && j.dmaxKGy && !(*j.dminKGy < *j.dmaxKGy))
        return ctx.usage(QStringLiteral("--dmin must be below --dmax"));
    j.training = ctx.has(QStringLiteral("training"));
    j.operatorName = ctx.env.operatorName;
    if (auto bad = routineOptions(ctx, j))
        return *bad;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = store->addJob(j);
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"id", j.id}, {"chain_head", r->hash}});
    ctx.print(QStringLiteral("job %1 added").arg(j.id));
    return ctx.done(r->hash);
}

int jobList(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto all = store->jobs();
    if (!all)
        return ctx.refuse(all.error());
    if (ctx.json) {
        QJsonArray a;
        for (const Job& j : *all)
            a.append(jobJson(j));
        return ctx.printJson(a);
    }
    for (const Job& j : *all)
        ctx.print(jobLine(j));
    return kOk;
}

int jobShow(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto shown = jobRecords(*store, ctx.positional[0]);
    if (!shown)
        return ctx.refuse(shown.error());
    const Job& j = shown->job;
    auto reviews = store->reviews(j.id);
    if (!reviews)
        return ctx.refuse(reviews.error());
    QJsonObject o = jobJson(j);
    o.insert("records", static_cast<qint64>(shown->records.size()));
    QJsonArray listed;
    for (const Review& r : *reviews)
        listed.append(reviewJson(r));
    o.insert("reviews", listed);
    o.insert("corrections", correctionsJson(shown->records));
    if (shown->routine)
        return showRoutine(ctx, *shown, o, *reviews);
    if (ctx.json)
        return ctx.printJson(o);
    ctx.print(jobLine(j));
    ctx.print(
        QStringLiteral("added by %1 at %2; %3 record versions")
            .arg(j.operatorName, timeText(j.createdAt), QString::number(shown->records.size())));
    ctx.print(decisionRule(j));
    printSigned(ctx, shown->records, *reviews);
    return kOk;
}

int recordList(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto listed = jobRecords(*store, ctx.value(QStringLiteral("job")));
    if (!listed)
        return ctx.refuse(listed.error());
    const std::vector<Record>& all = listed->records;
    if (ctx.json) {
        QJsonArray a;
        for (size_t i = 0; i < all.size(); ++i) {
            QJsonObject o = recordJson(all[i]);
            o.insert("superseded", supersededAt(all, i));
            o.insert("inferred", listed->routine
                                     ? QJsonValue(inferredJson(all[i], *listed->routine))
                                     : QJsonValue());
            a.append(o);
        }
        return ctx.printJson(a);
    }
    if (ctx.has(QStringLiteral("csv"))) {
        ctx.printData(
            QString::fromUtf8(recordsCsvRows(all, listed->routine ? &*listed->routine : nullptr)));
        return kOk;
    }
    std::map<qint64, std::optional<Fit>> fits; // each read's fit, for the range's ends
    for (const Record& r : all)
        if (!fits.count(r.fitId)) {
            auto f = store->fit(r.fitId);
            fits[r.fitId] = f ? std::optional<Fit>(*f) : std::nullopt;
        }
    bool recomputed = false;
    for (size_t i = 0; i < all.size(); ++i) {
        const Record& r = all[i];
        const auto& fit = fits[r.fitId];
        const QStringList flags = currentFlags(r, listed->job);
        recomputed |= flags != r.flags;
        ctx.print(
            QStringLiteral("%1 v%2%3  %4  %5  %6  %7%8%9")
                .arg(QString::number(r.id), QString::number(r.version),
                     supersededAt(all, i) ? QStringLiteral(" (superseded)") : QString(),
                     r.dosimeter, timeText(r.readAt), recordResultText(r, fit ? &*fit : nullptr),
                     flags.isEmpty() ? QStringLiteral("-") : flags.join(QLatin1Char(' ')),
                     flags != r.flags
                         ? QStringLiteral(" (recorded: %1)").arg(r.flags.join(QLatin1Char(' ')))
                         : QString(),
                     r.reason.isEmpty() ? QString()
                                        : QStringLiteral("  reason: %1; %2")
                                              .arg(r.reason, signatureOrAttribution(
                                                                 r.signature, r.operatorName))));
    }
    if (recomputed)
        ctx.print(QStringLiteral("Flags are those the job's %1 rule gives now; where the "
                                 "recorded ones differ they follow in brackets.")
                      .arg(ruleName(listed->job.rule)));
    return kOk;
}

int recordCorrect(Ctx& ctx) {
    const auto id = ctx.integerArgument(0);
    const auto t = ctx.number(QStringLiteral("thickness-um"), kThicknessUm);
    const auto u = ctx.number(QStringLiteral("u-thickness-um"), kUThicknessUm);
    if (ctx.usageError())
        return kUsage;
    const QString reason = ctx.value(QStringLiteral("reason")).trimmed();
    if (reason.isEmpty())
        return ctx.usage(QStringLiteral("--reason must say why the record is corrected"));
    Signer* signer = ctx.signer();
    if (!signer)
        return kRefused;
    auto corrected = correctRecord(
        *ctx.store(), *signer,
        {*id, *t, u, reason, ctx.env.operatorName, ctx.has(QStringLiteral("confirm-thickness"))});
    if (!corrected)
        return ctx.refuse(corrected.error());
    if (ctx.json) {
        QJsonObject o = recordJson(corrected->record);
        o.insert("chain_head", corrected->chainHead);
        return ctx.printJson(o);
    }
    ctx.print(correctedText(*corrected) + QStringLiteral("; ") +
              signatureOrAttribution(corrected->record.signature, corrected->record.operatorName));
    return ctx.done(corrected->chainHead);
}

// "-" and /dev/stdout: the CSV goes to standard output, checked with it.
bool isStandardOutput(const QString& path) {
    return path == QLatin1String("-") || path == QLatin1String("/dev/stdout");
}

int exportCsv(Ctx& ctx) {
    const QString path = ctx.value(QStringLiteral("csv"));
    if (isStandardOutput(path) && ctx.json)
        return ctx.usage(QStringLiteral("--json and a CSV on standard output do not mix"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    if (isStandardOutput(path)) {
        auto csv = recordsCsv(*store, ctx.value(QStringLiteral("job")));
        if (!csv)
            return ctx.refuse(csv.error());
        ctx.printData(QString::fromUtf8(csv->text));
        return kOk;
    }
    auto exported = exportRecordsCsv(*store, ctx.value(QStringLiteral("job")), path);
    if (!exported)
        return ctx.refuse(exported.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"file", exported->file},
                                         {"records", exported->versions},
                                         {"chain_head", exported->chainHead}});
    ctx.print(exportText(*exported));
    return ctx.done(exported->chainHead);
}

int verify(Ctx& ctx) {
    const QString expect = ctx.value(QStringLiteral("expect"));
    static const QRegularExpression hash(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    if (ctx.has(QStringLiteral("expect")) && !hash.match(expect).hasMatch())
        return ctx.usage(QStringLiteral("--expect needs a chain head: 64 hexadecimal digits, not "
                                        "\"%1\"")
                             .arg(expect));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    const ChainReport r = store->verify(expect);
    if (ctx.json)
        ctx.printJson(QJsonObject{{"whole", r.whole},
                                  {"rows", r.rows},
                                  {"head", r.headHash},
                                  {"broken_seq", r.brokenSeq},
                                  {"problem", r.problem}});
    if (!r.whole)
        return ctx.refuse(r.problem);
    if (!ctx.json)
        ctx.print(QStringLiteral("chain whole: %1 rows, head %2")
                      .arg(QString::number(r.rows), r.headHash));
    return kOk;
}

} // namespace

void addRecordCommands(std::vector<Command>& c) {
    c.push_back(
        {QStringLiteral("job add"),
         QStringLiteral(
             "job add ID [--training] [--dmin kGy] [--dmax kGy] [--product TEXT] "
             "[--decision-rule guarded|simple] [--wavelengths one|both] "
             "[--study STUDY --position P [--process-value V --process-unit min|m/min]]"),
         QStringLiteral("Adds a job (an irradiation run). Readings of a simulated reader "
                        "are accepted only in a training job. The decision rule judges doses "
                        "against the limits: guarded (the default) decides a limit only beyond "
                        "the expanded uncertainty and calls a read in between undecided; "
                        "simple decides on the dose alone. --wavelengths both reads each film "
                        "at both of the head's wavelengths, through two calibrations made from "
                        "the same films; the two doses must agree. A routine job names an approved "
                        "mapping study, one of its monitoring positions and the process "
                        "parameter it ran with, which must be the study's exactly; it takes no "
                        "limits of its own: its reads infer the product's Dmin and Dmax, judged "
                        "against the study's minimum required and maximum acceptable doses."),
         {QStringLiteral("dmin"), QStringLiteral("dmax"), QStringLiteral("product"),
          QStringLiteral("decision-rule"), QStringLiteral("wavelengths"), QStringLiteral("study"),
          QStringLiteral("position"), QStringLiteral("process-value"),
          QStringLiteral("process-unit")},
         {QStringLiteral("training")},
         {},
         1,
         jobAdd});
    c.push_back({QStringLiteral("job list"),
                 QStringLiteral("job list"),
                 QStringLiteral("Lists the jobs."),
                 {},
                 {},
                 {},
                 0,
                 jobList});
    c.push_back({QStringLiteral("job show"),
                 QStringLiteral("job show ID"),
                 QStringLiteral("Shows a job and its reviews, each with its signature; for a "
                                "routine job, its study's approval and ratios, each valid read's "
                                "inferred Dmin and Dmax with U, and the job's decision."),
                 {},
                 {},
                 {},
                 1,
                 jobShow});
    c.push_back({QStringLiteral("record list"),
                 QStringLiteral("record list --job J [--csv]"),
                 QStringLiteral("Lists every version of every record of a job."),
                 {QStringLiteral("job")},
                 {QStringLiteral("csv")},
                 {QStringLiteral("job")},
                 0,
                 recordList});
    c.push_back({QStringLiteral("record correct"),
                 QStringLiteral("record correct RECORD --thickness-um T --reason TEXT "
                                "[--u-thickness-um U] [--confirm-thickness]"),
                 QStringLiteral("Adds a new version of a record with a corrected (gauge) thickness "
                                "and the reason; the earlier version stays."),
                 {QStringLiteral("thickness-um"), QStringLiteral("reason"),
                  QStringLiteral("u-thickness-um")},
                 {QStringLiteral("confirm-thickness")},
                 {QStringLiteral("thickness-um"), QStringLiteral("reason")},
                 1,
                 recordCorrect});
    c.push_back({QStringLiteral("export"),
                 QStringLiteral("export --job J --csv FILE"),
                 QStringLiteral("Writes every record version of a job to a CSV file, headed by the "
                                "chain's hash: a new file or one replaced whole, a device such as "
                                "a terminal written directly, or - for standard output."),
                 {QStringLiteral("job"), QStringLiteral("csv")},
                 {},
                 {QStringLiteral("job"), QStringLiteral("csv")},
                 0,
                 exportCsv});
    c.push_back({QStringLiteral("verify"),
                 QStringLiteral("verify [--expect HASH]"),
                 QStringLiteral("Checks the whole chain: every hash, every row against its "
                                "recorded content; with --expect, that the chain still holds the "
                                "hash printed after an earlier write (no newest rows cut off). "
                                "HASH is 64 hexadecimal digits, in either case."),
                 {QStringLiteral("expect")},
                 {},
                 {},
                 0,
                 verify});
}

} // namespace qvr::dose
