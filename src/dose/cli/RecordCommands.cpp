#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/core/Decision.h"
#include "dose/core/DoseText.h"
#include "dose/core/DualRecord.h"
#include "dose/usecases/JobRecords.h"
#include "dose/usecases/JobReview.h"
#include "dose/usecases/RecordCorrection.h"
#include "dose/usecases/RecordsCsv.h"

#include <QRegularExpression>
#include <map>

namespace qvr::dose {

namespace {

QJsonArray readingsJson(const std::vector<Reading>& readings) {
    QJsonArray a;
    for (const Reading& x : readings)
        a.append(QJsonObject{{"at", timeText(x.at)}, {"A", jsonNumber(x.absorbance)}});
    return a;
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
    return {{"id", j.id},
            {"product", j.product},
            {"dmin_kGy", optional(j.dminKGy)},
            {"dmax_kGy", optional(j.dmaxKGy)},
            {"decision_rule", ruleName(j.rule)},
            {"training", j.training},
            {"wavelengths", wavelengthsName(j.bothWavelengths)},
            {"operator", j.operatorName},
            {"created_at", timeText(j.createdAt)}};
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
    if (ctx.json) {
        QJsonObject o = jobJson(j);
        o.insert("records", static_cast<qint64>(shown->records.size()));
        QJsonArray listed;
        for (const Review& r : *reviews)
            listed.append(reviewJson(r));
        o.insert("reviews", listed);
        return ctx.printJson(o);
    }
    ctx.print(jobLine(j));
    ctx.print(
        QStringLiteral("added by %1 at %2; %3 record versions")
            .arg(j.operatorName, timeText(j.createdAt), QString::number(shown->records.size())));
    ctx.print(decisionRule(j));
    for (const Review& r : *reviews)
        ctx.print(QStringLiteral("%1%2; %3")
                      .arg(reviewText(r),
                           r.reason.isEmpty() ? QString() : QStringLiteral(": ") + r.reason,
                           reviewSignatureText(r)));
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
            a.append(o);
        }
        return ctx.printJson(a);
    }
    if (ctx.has(QStringLiteral("csv"))) {
        ctx.printData(QString::fromUtf8(recordsCsvRows(all)));
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
                     r.reason.isEmpty() ? QString() : QStringLiteral("  reason: ") + r.reason));
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
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto corrected = correctRecord(*store, {*id, *t, u, reason, ctx.env.operatorName,
                                            ctx.has(QStringLiteral("confirm-thickness"))});
    if (!corrected)
        return ctx.refuse(corrected.error());
    if (ctx.json) {
        QJsonObject o = recordJson(corrected->record);
        o.insert("chain_head", corrected->chainHead);
        return ctx.printJson(o);
    }
    ctx.print(correctedText(*corrected));
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
         QStringLiteral("job add ID [--training] [--dmin kGy] [--dmax kGy] [--product TEXT] "
                        "[--decision-rule guarded|simple] [--wavelengths one|both]"),
         QStringLiteral("Adds a job (an irradiation run). Readings of a simulated reader "
                        "are accepted only in a training job. The decision rule judges doses "
                        "against the limits: guarded (the default) decides a limit only beyond "
                        "the expanded uncertainty and calls a read in between undecided; "
                        "simple decides on the dose alone. --wavelengths both reads each film "
                        "at both of the head's wavelengths, through two calibrations made from "
                        "the same films; the two doses must agree."),
         {QStringLiteral("dmin"), QStringLiteral("dmax"), QStringLiteral("product"),
          QStringLiteral("decision-rule"), QStringLiteral("wavelengths")},
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
                 QStringLiteral("Shows a job and its reviews, each with its signature."),
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
