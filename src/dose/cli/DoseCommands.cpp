#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"

#include <cmath>

namespace qvr::dose {

QJsonObject componentsJson(const Components& c) {
    return {{"fit_percent", jsonNumber(c.fit)},
            {"reference_percent", jsonNumber(c.reference)},
            {"reproducibility_percent", jsonNumber(c.reproducibility)},
            {"thickness_percent", jsonNumber(c.thickness)},
            {"reading_percent", jsonNumber(c.reading)},
            {"combined_percent", jsonNumber(c.combined())}};
}

Outcome<Usable> usableCalibration(Store& store, qint64 id, const QDate& today) {
    auto c = store.calibration(id);
    if (!c)
        return Failure{c.error()};
    if (c->expiredOn(today))
        return Failure{QStringLiteral("calibration %1 expired on %2; it cannot be used for new "
                                      "results")
                           .arg(id)
                           .arg(dateText(c->validUntil))};
    auto f = store.latestFit(id);
    if (!f)
        return Failure{f.error()};
    if (!f->acceptance.accepted)
        return Failure{
            QStringLiteral("calibration %1 cannot give doses: its latest fit (fit %2, %3) %4: %5 "
                           "(calibration show %1 says all); a new fit must be accepted first")
                .arg(id)
                .arg(f->id)
                .arg(modelName(f->model),
                     f->judgedWhenFitted ? QStringLiteral("was rejected")
                                         : QStringLiteral("was stored before fits were judged "
                                                          "and does not pass now"),
                     f->acceptance.rejections.value(0))};
    auto b = store.batch(c->batchId);
    if (!b)
        return Failure{b.error()};
    if (b->expiredOn(today))
        return Failure{
            QStringLiteral("film batch %1 expired on %2").arg(b->id, dateText(b->expires))};
    return Usable{*c, *f, *b};
}

std::optional<QString> readerCheckRefusal(Store& store, const Job& job,
                                          const Calibration& calibration, const QDateTime& now) {
    if (job.training)
        return std::nullopt;
    auto checks = store.checks();
    if (!checks)
        return checks.error();
    auto lab = store.labSettings();
    if (!lab)
        return lab.error();
    return checkRefusal(*checks, calibration.headSerial, calibration.wavelengthNm, now, *lab);
}

namespace {

void printComponents(Ctx& ctx, const DoseResult& r) {
    const Components& c = r.components;
    ctx.print(QStringLiteral("response %1 mm-1").arg(QString::number(r.response, 'g', 6)));
    if (!r.inRange)
        return;
    ctx.print(QStringLiteral("relative standard uncertainties (k = 1): fit %1 %, reference dose %2 "
                             "%, reproducibility %3 %, thickness %4 %, reading %5 %; combined %6 %")
                  .arg(fixed(c.fit, 2), fixed(c.reference, 2), fixed(c.reproducibility, 2),
                       fixed(c.thickness, 2), fixed(c.reading, 2), fixed(c.combined(), 2)));
}

// Thickness of the film: a gauge reading with its uncertainty, else the batch's nominal.
bool thickness(Ctx& ctx, const Batch& batch, double& t, double& u, bool& measured) {
    const auto gauge = ctx.number(QStringLiteral("thickness-um"));
    const auto uGauge = ctx.number(QStringLiteral("u-thickness-um"));
    if (ctx.usageError())
        return false;
    if (gauge && !(*gauge > 0)) {
        ctx.usage(QStringLiteral("--thickness-um must be above 0"));
        return false;
    }
    if (uGauge && !(*uGauge >= 0)) {
        ctx.usage(QStringLiteral("--u-thickness-um must not be negative"));
        return false;
    }
    measured = gauge.has_value();
    t = gauge.value_or(batch.thicknessUm);
    // Without the gauge's own figure, the batch's spread is the cautious choice.
    u = uGauge.value_or(batch.uThicknessUm);
    return true;
}

int dose(Ctx& ctx) {
    const auto id = ctx.integer(QStringLiteral("calibration"));
    const auto absorbance = ctx.number(QStringLiteral("absorbance"));
    const auto sd = ctx.number(QStringLiteral("reader-sd"));
    if (ctx.usageError())
        return kUsage;
    if (sd && !(*sd >= 0))
        return ctx.usage(QStringLiteral("--reader-sd must not be negative"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto use = usableCalibration(*store, *id, ctx.env.now().date());
    if (!use)
        return ctx.refuse(use.error());
    DoseInput in;
    bool measured = false;
    if (!thickness(ctx, use->batch, in.thicknessUm, in.uThicknessUm, measured))
        return kUsage;
    in.absorbance = *absorbance;
    in.a0 = use->calibration.a0;
    in.readingSd = sd;
    const DoseResult r = computeDose(use->fit, in);
    if (ctx.json) {
        QJsonObject o{{"dose_kGy", jsonNumber(r.dose)},
                      {"U_kGy", jsonNumber(r.expanded)},
                      {"coverage", kCoverage},
                      {"response", jsonNumber(r.response)},
                      {"in_range", r.inRange},
                      {"range_kGy", QJsonArray{use->fit.doseLo, use->fit.doseHi}},
                      {"components", componentsJson(r.components)},
                      {"flags", r.inRange ? QJsonArray{} : QJsonArray{validityFlag(r.validity)}},
                      {"calibration", *id},
                      {"fit", use->fit.id}};
        if (!r.inRange)
            o.insert("reason", r.reason);
        ctx.printJson(o);
    } else {
        ctx.print((r.inRange ? QStringLiteral("dose ") : QStringLiteral("NOT A DOSE: ")) +
                  resultText(r, use->fit));
        printComponents(ctx, r);
    }
    // Nothing is recorded, so a result that is not a dose is a refusal.
    return r.inRange ? kOk : ctx.refuse(r.reason);
}

int read(Ctx& ctx) {
    const auto id = ctx.integer(QStringLiteral("calibration"));
    const auto count = ctx.integer(QStringLiteral("readings"));
    const auto irradiated = ctx.time(QStringLiteral("irradiated-at"));
    if (ctx.usageError())
        return kUsage;
    if (count && (*count < 1 || *count > 100))
        return ctx.usage(QStringLiteral("--readings must be from 1 to 100"));
    const QString dosimeter = ctx.value(QStringLiteral("dosimeter")).trimmed();
    if (dosimeter.isEmpty())
        return ctx.usage(QStringLiteral("--dosimeter needs the dosimeter's id"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto job = store->job(ctx.value(QStringLiteral("job")));
    if (!job)
        return ctx.refuse(job.error());
    auto use = usableCalibration(*store, *id, ctx.env.now().date());
    if (!use)
        return ctx.refuse(use.error());
    Record rec;
    if (!thickness(ctx, use->batch, rec.thicknessUm, rec.uThicknessUm, rec.thicknessMeasured))
        return kUsage;

    std::unique_ptr<ReaderSource> reader = ctx.env.reader ? ctx.env.reader() : nullptr;
    if (!reader)
        return ctx.refuse(QStringLiteral("no reader to read from"));
    const ReadingContext context{job->training, use->calibration.wavelengthNm,
                                 use->calibration.headSerial};
    auto items = reader->items();
    if (!items)
        return ctx.refuse(items.error());
    if (auto why = refusal(*items, context))
        return ctx.refuse(*why);
    if (auto why = readerCheckRefusal(*store, *job, use->calibration, ctx.env.now()))
        return ctx.refuse(*why);
    for (qint64 i = 0; i < count.value_or(3); ++i) {
        items = reader->nextReading(ctx.env.readingTimeoutMs);
        if (!items)
            return ctx.refuse(items.error());
        if (auto why = refusal(*items, context))
            return ctx.refuse(QStringLiteral("reading %1: %2").arg(i + 1).arg(*why));
        auto a = servedAbsorbance(items->value(QStringLiteral("A")).toString());
        if (!a)
            return ctx.refuse(QStringLiteral("reading %1: %2").arg(i + 1).arg(a.error()));
        rec.readings.push_back({ctx.env.now(), *a});
    }
    rec.jobId = job->id;
    rec.dosimeter = dosimeter;
    if (irradiated)
        rec.irradiatedAt = *irradiated;
    rec.calibrationId = use->calibration.id;
    rec.fitId = use->fit.id;
    rec.batchId = use->batch.id;
    rec.wavelengthNm = use->calibration.wavelengthNm;
    rec.headSerial = use->calibration.headSerial;
    rec.simulated = items->value(QStringLiteral("Simulated")).toBool();
    rec.readAt = rec.readings.back().at;
    rec.zeroText = items->value(QStringLiteral("lblZero")).toString();
    rec.a0 = use->calibration.a0;
    rec.operatorName = ctx.env.operatorName;
    rec.comment = ctx.value(QStringLiteral("comment"));
    auto r = store->addRecord(rec, [&](Record& r) {
        evaluateRecord(r, use->fit, *job, use->calibration);
        rec = r;
    });
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json) {
        QJsonObject o = recordJson(rec);
        o.insert("chain_head", r->hash);
        return ctx.printJson(o);
    }
    ctx.print(
        QStringLiteral("record %1: dosimeter %2 of job %3").arg(r->id).arg(dosimeter, job->id));
    if (rec.result.inRange)
        ctx.print(QStringLiteral("recorded: ") + resultText(rec.result, use->fit));
    else if (rec.result.validity == Validity::NoDose)
        ctx.print(QStringLiteral("recorded: no dose (%1)").arg(rec.result.reason));
    else
        ctx.print(QStringLiteral("recorded: %1 (%2)")
                      .arg(resultText(rec.result, use->fit), rec.result.reason));
    printComponents(ctx, rec.result);
    if (!rec.flags.isEmpty())
        ctx.print(QStringLiteral("flags: ") + rec.flags.join(QStringLiteral(", ")));
    if (job->training)
        ctx.print(QStringLiteral("training job: no reader check is asked for"));
    return ctx.done(r->hash);
}

} // namespace

void addDoseCommands(std::vector<Command>& c) {
    c.push_back({QStringLiteral("dose"),
                 QStringLiteral("dose --calibration ID --absorbance A [--thickness-um T] "
                                "[--u-thickness-um U] [--reader-sd S]"),
                 QStringLiteral("Computes a dose from an absorbance through a calibration's latest "
                                "(accepted) fit, with its expanded uncertainty (k = 2) and the "
                                "components. Without --thickness-um the batch's nominal thickness "
                                "is used; --reader-sd is the spread of the readings taken. Nothing "
                                "is recorded: a response outside the calibrated range, or one "
                                "the curve gives no dose for, exits 1 with the reason."),
                 {QStringLiteral("calibration"), QStringLiteral("absorbance"),
                  QStringLiteral("thickness-um"), QStringLiteral("u-thickness-um"),
                  QStringLiteral("reader-sd")},
                 {},
                 {QStringLiteral("calibration"), QStringLiteral("absorbance")},
                 0,
                 dose});
    c.push_back(
        {QStringLiteral("read"),
         QStringLiteral("read --job J --dosimeter D --calibration ID [--thickness-um T] "
                        "[--u-thickness-um U] [--readings N] [--irradiated-at TIME] "
                        "[--comment TEXT]"),
         QStringLiteral("Captures the next N (default 3) absorbances the running reader "
                        "serves and records the dosimeter's dose, or that it has none (below "
                        "or above the calibrated range, no dose): an original observation "
                        "either way. Refused unless the reader is reading without a fault, "
                        "with film in the head, at the calibration's wavelength and head; a "
                        "simulated head only in a training job; for any other job, only with a "
                        "passing reader check within the lab's interval and no failed one "
                        "since."),
         {QStringLiteral("job"), QStringLiteral("dosimeter"), QStringLiteral("calibration"),
          QStringLiteral("thickness-um"), QStringLiteral("u-thickness-um"),
          QStringLiteral("readings"), QStringLiteral("irradiated-at"), QStringLiteral("comment")},
         {},
         {QStringLiteral("job"), QStringLiteral("dosimeter"), QStringLiteral("calibration")},
         0,
         read});
}

} // namespace qvr::dose
