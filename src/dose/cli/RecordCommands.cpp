#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"

#include "dose/core/OutputFile.h"

#include <QRegularExpression>

namespace qvr::dose {

QJsonObject recordJson(const Record& r) {
    QJsonArray readings;
    for (const Reading& x : r.readings)
        readings.append(QJsonObject{{"at", timeText(x.at)}, {"A", x.absorbance}});
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
            {"absorbance", r.absorbance},
            {"a0", r.a0},
            {"thickness_um", r.thicknessUm},
            {"u_thickness_um", r.uThicknessUm},
            {"thickness_measured", r.thicknessMeasured},
            {"response", r.result.response},
            {"dose_kGy", r.result.dose},
            {"U_kGy", r.result.expanded},
            {"in_range", r.result.inRange},
            {"components", componentsJson(r.result.components)},
            {"reread", r.reread},
            {"flags", QJsonArray::fromStringList(r.flags)},
            {"operator", r.operatorName},
            {"comment", r.comment},
            {"created_at", timeText(r.createdAt)}};
}

namespace {

QJsonObject jobJson(const Job& j) {
    auto optional = [](const std::optional<double>& v) {
        return v ? QJsonValue(*v) : QJsonValue();
    };
    return {{"id", j.id},
            {"product", j.product},
            {"dmin_kGy", optional(j.dminKGy)},
            {"dmax_kGy", optional(j.dmaxKGy)},
            {"training", j.training},
            {"operator", j.operatorName},
            {"created_at", timeText(j.createdAt)}};
}

QString jobLine(const Job& j) {
    auto limit = [](const std::optional<double>& v) {
        return v ? numberText(*v) : QStringLiteral("-");
    };
    return QStringLiteral("%1  %2  Dmin %3 kGy  Dmax %4 kGy%5")
        .arg(j.id, j.product.isEmpty() ? QStringLiteral("-") : j.product, limit(j.dminKGy),
             limit(j.dmaxKGy), j.training ? QStringLiteral("  training") : QString());
}

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

const QString kCsvHeader = QStringLiteral(
    "record,version,superseded,dosimeter,read_at,irradiated_at,absorbance,readings,thickness_um,"
    "thickness_source,response_per_mm,dose_kGy,U_kGy,in_range,u_fit_percent,u_reference_percent,"
    "u_reproducibility_percent,u_thickness_percent,u_reading_percent,flags,calibration,fit,batch,"
    "wavelength_nm,head,zero,operator,created_at,reason,comment");

QString csvLine(const Record& r, bool superseded) {
    QStringList readings;
    for (const Reading& x : r.readings)
        readings << numberText(x.absorbance);
    const Components& c = r.result.components;
    QStringList f{QString::number(r.id),
                  QString::number(r.version),
                  superseded ? QStringLiteral("yes") : QStringLiteral("no"),
                  csvField(r.dosimeter),
                  timeText(r.readAt),
                  timeText(r.irradiatedAt),
                  numberText(r.absorbance),
                  readings.join(QLatin1Char(' ')),
                  numberText(r.thicknessUm),
                  r.thicknessMeasured ? QStringLiteral("gauge") : QStringLiteral("nominal"),
                  numberText(r.result.response),
                  numberText(r.result.dose),
                  numberText(r.result.expanded),
                  r.result.inRange ? QStringLiteral("yes") : QStringLiteral("no"),
                  numberText(c.fit),
                  numberText(c.reference),
                  numberText(c.reproducibility),
                  numberText(c.thickness),
                  numberText(c.reading),
                  r.flags.join(QLatin1Char(' ')),
                  QString::number(r.calibrationId),
                  QString::number(r.fitId),
                  csvField(r.batchId),
                  QString::number(r.wavelengthNm),
                  csvField(r.headSerial),
                  csvField(r.zeroText),
                  csvField(r.operatorName),
                  timeText(r.createdAt),
                  csvField(r.reason),
                  csvField(r.comment)};
    return f.join(QLatin1Char(','));
}

bool supersededAt(const std::vector<Record>& all, size_t i) {
    return i + 1 < all.size() && all[i + 1].id == all[i].id;
}

// The header and a line per record version, each ending in a newline.
QString csvRows(const std::vector<Record>& all) {
    QString out;
    out.reserve(static_cast<qsizetype>(all.size()) * 400 + 512);
    out += kCsvHeader;
    out += QLatin1Char('\n');
    for (size_t i = 0; i < all.size(); ++i) {
        out += csvLine(all[i], supersededAt(all, i));
        out += QLatin1Char('\n');
    }
    return out;
}

// "-" and /dev/stdout: the CSV goes to standard output, checked with it.
bool isStandardOutput(const QString& path) {
    return path == QLatin1String("-") || path == QLatin1String("/dev/stdout");
}

int jobAdd(Ctx& ctx) {
    Job j;
    j.id = ctx.positional[0];
    j.product = ctx.value(QStringLiteral("product"));
    j.dminKGy = ctx.number(QStringLiteral("dmin"), kDoseKGy);
    j.dmaxKGy = ctx.number(QStringLiteral("dmax"), kDoseKGy);
    if (ctx.usageError())
        return kUsage;
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

namespace {

// A job and every version of its records, for the commands that show or export them.
struct JobRecords {
    Job job;
    std::vector<Record> records;
};

Outcome<JobRecords> jobRecords(Store& store, const QString& jobId) {
    auto job = store.job(jobId);
    if (!job)
        return Failure{job.error()};
    auto records = store.records(job->id);
    if (!records)
        return Failure{records.error()};
    return JobRecords{std::move(*job), std::move(*records)};
}

} // namespace

int jobShow(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto shown = jobRecords(*store, ctx.positional[0]);
    if (!shown)
        return ctx.refuse(shown.error());
    const Job& j = shown->job;
    if (ctx.json) {
        QJsonObject o = jobJson(j);
        o.insert("records", static_cast<qint64>(shown->records.size()));
        return ctx.printJson(o);
    }
    ctx.print(jobLine(j));
    ctx.print(
        QStringLiteral("added by %1 at %2; %3 record versions")
            .arg(j.operatorName, timeText(j.createdAt), QString::number(shown->records.size())));
    if (j.dminKGy || j.dmaxKGy)
        ctx.print(QStringLiteral("decision rule: a limit is met only when D - U >= Dmin and "
                                 "D + U <= Dmax (U expanded, k = 2)"));
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
        ctx.printData(csvRows(all));
        return kOk;
    }
    for (size_t i = 0; i < all.size(); ++i) {
        const Record& r = all[i];
        ctx.print(
            QStringLiteral("%1 v%2%3  %4  %5  %6 kGy  U %7 kGy  %8%9")
                .arg(QString::number(r.id), QString::number(r.version),
                     supersededAt(all, i) ? QStringLiteral(" (superseded)") : QString(),
                     r.dosimeter, timeText(r.readAt), QString::number(r.result.dose, 'g', 5),
                     QString::number(r.result.expanded, 'g', 3),
                     r.flags.isEmpty() ? QStringLiteral("-") : r.flags.join(QLatin1Char(' ')),
                     r.reason.isEmpty() ? QString() : QStringLiteral("  reason: ") + r.reason));
    }
    return kOk;
}

int recordCorrect(Ctx& ctx) {
    const auto id = ctx.integerArgument(0);
    const auto u = ctx.number(QStringLiteral("u-thickness-um"), kUThicknessUm);
    if (ctx.usageError())
        return kUsage;
    const QString reason = ctx.value(QStringLiteral("reason")).trimmed();
    if (reason.isEmpty())
        return ctx.usage(QStringLiteral("--reason must say why the record is corrected"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    // The gauge reading against the nominal thickness of the record's batch.
    auto before = store->record(*id);
    if (!before)
        return ctx.refuse(before.error());
    auto batch = store->batch(before->batchId);
    if (!batch)
        return ctx.refuse(batch.error());
    const auto t = ctx.gaugeThickness(batch->thicknessUm);
    if (ctx.usageError())
        return kUsage;
    auto r = store->correctRecord(*id, [&](const Record& latest) -> Outcome<Record> {
        auto fit = store->fit(latest.fitId);
        if (!fit)
            return Failure{fit.error()};
        auto job = store->job(latest.jobId);
        if (!job)
            return Failure{job.error()};
        auto calibration = store->calibration(latest.calibrationId);
        if (!calibration)
            return Failure{calibration.error()};
        Record next = latest;
        next.thicknessUm = *t;
        next.thicknessMeasured = true;
        if (u)
            next.uThicknessUm = *u;
        next.reason = reason;
        next.operatorName = ctx.env.operatorName;
        evaluateRecord(next, *fit, *job, *calibration);
        return next;
    });
    if (!r)
        return ctx.refuse(r.error());
    auto stored = store->record(*id);
    if (!stored)
        return ctx.refuse(stored.error());
    if (ctx.json) {
        QJsonObject o = recordJson(*stored);
        o.insert("chain_head", r->hash);
        return ctx.printJson(o);
    }
    ctx.print(QStringLiteral("record %1 v%2: thickness %3 µm, dose %4 kGy, U %5 kGy (reason: %6)")
                  .arg(QString::number(stored->id), QString::number(stored->version),
                       numberText(stored->thicknessUm),
                       QString::number(stored->result.dose, 'g', 5),
                       QString::number(stored->result.expanded, 'g', 3), stored->reason));
    return ctx.done(r->hash);
}

int exportCsv(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto exported = jobRecords(*store, ctx.value(QStringLiteral("job")));
    if (!exported)
        return ctx.refuse(exported.error());
    const Job& job = exported->job;
    const std::vector<Record>& all = exported->records;
    auto head = store->headHash();
    if (!head)
        return ctx.refuse(head.error());
    const QString path = ctx.value(QStringLiteral("csv"));
    const QString csv =
        QStringLiteral("# qvr100dose records of job %1, chain head %2\n").arg(job.id, *head) +
        csvRows(all);
    if (isStandardOutput(path)) {
        if (ctx.json)
            return ctx.usage(QStringLiteral("--json and a CSV on standard output do not mix"));
        ctx.printData(csv);
        return kOk;
    }
    if (auto written = writeOutputFile(path, csv.toUtf8()); !written)
        return ctx.refuse(written.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{
            {"file", path}, {"records", static_cast<qint64>(all.size())}, {"chain_head", *head}});
    ctx.print(QStringLiteral("%1 record versions of job %2 written to %3")
                  .arg(QString::number(all.size()), job.id, path));
    return ctx.done(*head);
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
         QStringLiteral("job add ID [--training] [--dmin kGy] [--dmax kGy] [--product TEXT]"),
         QStringLiteral("Adds a job (an irradiation run). Readings of a simulated reader "
                        "are accepted only in a training job."),
         {QStringLiteral("dmin"), QStringLiteral("dmax"), QStringLiteral("product")},
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
                 QStringLiteral("Shows a job."),
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
