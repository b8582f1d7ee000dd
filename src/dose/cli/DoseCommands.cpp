#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/core/TextRules.h"

#include <cmath>

namespace qvr::dose {

QJsonObject componentsJson(const Components& c) {
    return {{"fit_percent", c.fit},
            {"reference_percent", c.reference},
            {"reproducibility_percent", c.reproducibility},
            {"thickness_percent", c.thickness},
            {"reading_percent", c.reading},
            {"combined_percent", c.combined()}};
}

QString doseText(const DoseResult& r, const Fit& fit) {
    const QString value =
        QStringLiteral("%1 kGy, U = %2 kGy (k = 2, %3 %)")
            .arg(QString::number(r.dose, 'g', 5), QString::number(r.expanded, 'g', 3),
                 fixed(2 * r.components.combined(), 1));
    if (r.inRange)
        return QStringLiteral("dose ") + value;
    return QStringLiteral("NOT A VALID DOSE: %1 is outside the calibrated range %2 to %3 kGy")
        .arg(value, numberText(fit.doseLo), numberText(fit.doseHi));
}

Outcome<Usable> usableCalibration(Store& store, qint64 id, const QDate& today) {
    auto c = store.calibration(id);
    if (!c)
        return Failure{c.error()};
    if (c->expiredOn(today))
        return Failure{QStringLiteral("calibration %1 expired on %2; it cannot be used for new "
                                      "results")
                           .arg(QString::number(id), dateText(c->validUntil))};
    auto f = store.latestFit(id);
    if (!f)
        return Failure{f.error()};
    auto b = store.batch(c->batchId);
    if (!b)
        return Failure{b.error()};
    if (b->expiredOn(today))
        return Failure{
            QStringLiteral("film batch %1 expired on %2").arg(b->id, dateText(b->expires))};
    return Usable{*c, *f, *b};
}

namespace {

void printComponents(Ctx& ctx, const DoseResult& r) {
    const Components& c = r.components;
    ctx.print(QStringLiteral("response %1 mm-1").arg(QString::number(r.response, 'g', 6)));
    ctx.print(QStringLiteral("relative standard uncertainties (k = 1): fit %1 %, reference dose %2 "
                             "%, reproducibility %3 %, thickness %4 %, reading %5 %; combined %6 %")
                  .arg(fixed(c.fit, 2), fixed(c.reference, 2), fixed(c.reproducibility, 2),
                       fixed(c.thickness, 2), fixed(c.reading, 2), fixed(c.combined(), 2)));
}

// Thickness of the film: a gauge reading with its uncertainty, else the batch's nominal.
bool thickness(Ctx& ctx, const Batch& batch, double& t, double& u, bool& measured) {
    const auto gauge = ctx.gaugeThickness(batch.thicknessUm);
    const auto uGauge = ctx.number(QStringLiteral("u-thickness-um"), kUThicknessUm);
    if (ctx.usageError())
        return false;
    measured = gauge.has_value();
    t = gauge.value_or(batch.thicknessUm);
    // Without the gauge's own figure, the batch's spread is the cautious choice.
    u = uGauge.value_or(batch.uThicknessUm);
    return true;
}

int dose(Ctx& ctx) {
    const auto id = ctx.integer(QStringLiteral("calibration"));
    const auto absorbance = ctx.number(QStringLiteral("absorbance"), kAbsorbance);
    const auto sd = ctx.number(QStringLiteral("reader-sd"), kReaderSd);
    if (ctx.usageError())
        return kUsage;
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
    if (ctx.json)
        return ctx.printJson(
            QJsonObject{{"dose_kGy", r.dose},
                        {"U_kGy", r.expanded},
                        {"coverage", kCoverage},
                        {"response", r.response},
                        {"in_range", r.inRange},
                        {"range_kGy", QJsonArray{use->fit.doseLo, use->fit.doseHi}},
                        {"components", componentsJson(r.components)},
                        {"flags", r.inRange ? QJsonArray{} : QJsonArray{"outside_range"}},
                        {"calibration", *id},
                        {"fit", use->fit.id}});
    ctx.print(doseText(r, use->fit));
    printComponents(ctx, r);
    return kOk;
}

int read(Ctx& ctx) {
    const auto id = ctx.integer(QStringLiteral("calibration"));
    const auto count = ctx.integer(QStringLiteral("readings"), kReadingCount);
    const auto irradiated = ctx.time(QStringLiteral("irradiated-at"));
    if (ctx.usageError())
        return kUsage;
    // Before the reader is asked: a dosimeter that cannot be recorded is not read.
    const auto dosimeter =
        acceptId(QStringLiteral("dosimeter id"), ctx.value(QStringLiteral("dosimeter")).trimmed());
    if (!dosimeter)
        return ctx.usage(dosimeter.error());
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
    for (qint64 i = 0; i < count.value_or(3); ++i) {
        items = reader->nextReading(ctx.env.readingTimeoutMs);
        if (!items)
            return ctx.refuse(items.error());
        if (auto why = refusal(*items, context))
            return ctx.refuse(QStringLiteral("reading %1: %2").arg(QString::number(i + 1), *why));
        auto a = servedAbsorbance(items->value(QStringLiteral("A")).toString());
        if (!a)
            return ctx.refuse(
                QStringLiteral("reading %1: %2").arg(QString::number(i + 1), a.error()));
        rec.readings.push_back({ctx.env.now(), *a});
    }
    rec.jobId = job->id;
    rec.dosimeter = *dosimeter;
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
    ctx.print(QStringLiteral("record %1: dosimeter %2 of job %3")
                  .arg(QString::number(r->id), rec.dosimeter, job->id));
    ctx.print(doseText(rec.result, use->fit));
    printComponents(ctx, rec.result);
    if (!rec.flags.isEmpty())
        ctx.print(QStringLiteral("flags: ") + rec.flags.join(QStringLiteral(", ")));
    return ctx.done(r->hash);
}

} // namespace

void addDoseCommands(std::vector<Command>& c) {
    c.push_back({QStringLiteral("dose"),
                 QStringLiteral("dose --calibration ID --absorbance A [--thickness-um T "
                                "[--confirm-thickness]] [--u-thickness-um U] [--reader-sd S]"),
                 QStringLiteral("Computes a dose from an absorbance through a calibration's latest "
                                "fit, with its expanded uncertainty (k = 2) and the components. "
                                "Without --thickness-um the batch's nominal thickness is used; "
                                "a gauge thickness more than 20 % from it needs "
                                "--confirm-thickness. --reader-sd is the spread of the readings "
                                "taken. Nothing is recorded."),
                 {QStringLiteral("calibration"), QStringLiteral("absorbance"),
                  QStringLiteral("thickness-um"), QStringLiteral("u-thickness-um"),
                  QStringLiteral("reader-sd")},
                 {QStringLiteral("confirm-thickness")},
                 {QStringLiteral("calibration"), QStringLiteral("absorbance")},
                 0,
                 dose});
    c.push_back(
        {QStringLiteral("read"),
         QStringLiteral("read --job J --dosimeter D --calibration ID [--thickness-um T "
                        "[--confirm-thickness]] [--u-thickness-um U] [--readings N] "
                        "[--irradiated-at TIME] [--comment TEXT]"),
         QStringLiteral("Captures the next N (default 3) absorbances the running reader "
                        "serves and records the dosimeter's dose. Refused unless the "
                        "reader is reading without a fault, with film in the head, at the "
                        "calibration's wavelength and head; a simulated head only in a "
                        "training job."),
         {QStringLiteral("job"), QStringLiteral("dosimeter"), QStringLiteral("calibration"),
          QStringLiteral("thickness-um"), QStringLiteral("u-thickness-um"),
          QStringLiteral("readings"), QStringLiteral("irradiated-at"), QStringLiteral("comment")},
         {QStringLiteral("confirm-thickness")},
         {QStringLiteral("job"), QStringLiteral("dosimeter"), QStringLiteral("calibration")},
         0,
         read});
}

} // namespace qvr::dose
