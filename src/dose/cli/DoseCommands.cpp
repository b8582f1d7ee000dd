#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"
#include "dose/core/DualRecord.h"
#include "dose/core/TwoWavelengths.h"
#include "dose/usecases/DosimeterRead.h"
#include "dose/usecases/DualRead.h"
#include "dose/usecases/MappingRead.h"

#include <cmath>

namespace qvr::dose {

QJsonObject componentsJson(const Components& c) {
    return {{"fit_percent", jsonNumber(c.fit)},
            {"reference_percent", jsonNumber(c.reference)},
            {"reproducibility_percent", jsonNumber(c.reproducibility)},
            {"thickness_percent", jsonNumber(c.thickness)},
            {"reading_percent", jsonNumber(c.reading)},
            {"background_percent", jsonNumber(c.background)},
            {"combined_percent", jsonNumber(c.combined())},
            {"systematic", QJsonArray{QStringLiteral("reference")}}};
}

QJsonObject wavelengthDoseJson(const WavelengthDoseRow& w) {
    const DoseResult& r = *w.result;
    QJsonObject o{{"wavelength_nm", w.wavelengthNm},
                  {"calibration", w.calibrationId},
                  {"fit", w.fitId},
                  {"dose_kGy", jsonNumber(r.dose)},
                  {"U_kGy", jsonNumber(r.expanded)},
                  {"k", jsonNumber(r.coverage)},
                  {"in_range", r.inRange},
                  {"flags", r.inRange ? QJsonArray{} : QJsonArray{validityFlag(r.validity)}},
                  {"weight", jsonNumber(r.inRange ? w.weight : std::nan(""))}};
    if (w.calibrationVersion > 0)
        o.insert("calibration_version", w.calibrationVersion);
    if (std::isfinite(w.absorbance))
        o.insert("absorbance", w.absorbance);
    return o;
}

QJsonValue agreementJson(bool has, const Agreement& a) {
    if (!has)
        return QJsonValue();
    return QJsonObject{{"difference_kGy", jsonNumber(a.difference)},
                       {"U_difference_kGy", jsonNumber(a.expanded)},
                       {"k", jsonNumber(a.coverage)},
                       {"consistent", a.consistent}};
}

namespace {

void printComponents(Ctx& ctx, const DoseResult& r) {
    ctx.print(QStringLiteral("response %1 mm-1").arg(QString::number(r.response, 'g', 6)));
    if (!r.inRange)
        return;
    ctx.print(budgetLine(r));
}

// A gauge's reading of the film's thickness and its uncertainty, each optional.
struct Gauge {
    std::optional<double> thicknessUm;
    std::optional<double> uThicknessUm;
};

// Nothing after a usage error, already reported.
std::optional<Gauge> gauge(Ctx& ctx) {
    const auto t = ctx.number(QStringLiteral("thickness-um"), kThicknessUm);
    const auto u = ctx.number(QStringLiteral("u-thickness-um"), kUThicknessUm);
    if (ctx.usageError())
        return std::nullopt;
    return Gauge{t, u};
}

QJsonObject wavelengthJson(const WavelengthDose& w, const Usable& use, double weight) {
    return wavelengthDoseJson(
        {w.wavelengthNm, use.calibration.id, 0, use.fit.id, std::nan(""), &w.result, weight});
}

// Both doses of a film read at both wavelengths, their agreement and the film's dose.
int dualDose(Ctx& ctx, Store& store, const Usable& first, const DoseInput& firstIn,
             double secondAbsorbance) {
    auto second = sameFilmsCalibration(store, first.calibration, ctx.env.now().date());
    if (!second)
        return ctx.refuse(second.error());
    DoseInput secondIn = firstIn;
    secondIn.absorbance = secondAbsorbance;
    secondIn.a0 = second->calibration.a0;
    secondIn.calibrationA0 = second->calibration.a0;
    const WavelengthDose a = doseAtWavelength(first.calibration.wavelengthNm, first.fit, firstIn);
    const WavelengthDose b =
        doseAtWavelength(second->calibration.wavelengthNm, second->fit, secondIn);
    const DualDose d = combineWavelengths(
        a, b, fitCorrelation(first.calibration, first.fit, second->calibration, second->fit));
    const bool mismatch = d.outcome == DualOutcome::Mismatch;
    if (ctx.json) {
        QJsonObject o{
            {"dose_kGy", jsonNumber(d.dose)},
            {"U_kGy", jsonNumber(d.expanded)},
            {"k", d.coverage},
            {"dof", jsonNumber(d.dof)},
            {"doses", QJsonArray{wavelengthJson(a, first, d.weightFirst),
                                 wavelengthJson(b, *second, 1 - d.weightFirst)}},
            {"agreement", agreementJson(d.hasAgreement, d.agreement)},
            {"flags", mismatch ? QJsonArray{QStringLiteral("wavelength_mismatch")} : QJsonArray{}},
            {"note", d.note}};
        ctx.printJson(o);
    } else {
        ctx.print(std::isfinite(d.dose)
                      ? QStringLiteral("dose ") + doseAndU(d.dose, d.expanded, d.coverage)
                      : QStringLiteral("NOT A DOSE"));
        ctx.print(d.note);
        ctx.print(QStringLiteral("%1 nm: %2")
                      .arg(QString::number(a.wavelengthNm), resultText(a.result, first.fit)));
        ctx.print(QStringLiteral("%1 nm: %2")
                      .arg(QString::number(b.wavelengthNm), resultText(b.result, second->fit)));
        if (mismatch)
            ctx.print(QStringLiteral("flags: wavelength_mismatch"));
    }
    return std::isfinite(d.dose) ? kOk : ctx.refuse(d.note);
}

int dose(Ctx& ctx) {
    const auto id = ctx.integer(QStringLiteral("calibration"));
    const auto absorbance = ctx.number(QStringLiteral("absorbance"), kAbsorbance);
    const auto secondAbsorbance = ctx.number(QStringLiteral("second-absorbance"), kAbsorbance);
    const auto sd = ctx.number(QStringLiteral("reader-sd"), kReaderSd);
    if (ctx.usageError())
        return kUsage;
    const auto thickness = gauge(ctx);
    if (!thickness)
        return kUsage;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto use = usableCalibration(*store, *id, ctx.env.now().date());
    if (!use)
        return ctx.refuse(use.error());
    if (thickness->thicknessUm && !ctx.has(QStringLiteral("confirm-thickness")))
        if (auto why = thicknessNeedsConfirming(*thickness->thicknessUm, use->batch.thicknessUm))
            return ctx.usage(*why);
    DoseInput in;
    in.thicknessUm = thickness->thicknessUm.value_or(use->batch.thicknessUm);
    // Without the gauge's own figure, the batch's spread is the cautious choice.
    in.uThicknessUm = thickness->uThicknessUm.value_or(use->batch.uThicknessUm);
    in.absorbance = *absorbance;
    in.a0 = use->a0();
    in.uA0 = use->uA0();
    in.readingSd = sd;
    in.thicknessMeasured = thickness->thicknessUm.has_value();
    in.calibrationA0 = use->calibration.a0;
    if (secondAbsorbance)
        return dualDose(ctx, *store, *use, in, *secondAbsorbance);
    const DoseResult r = computeDose(use->fit, in);
    if (ctx.json) {
        QJsonObject o{{"dose_kGy", jsonNumber(r.dose)},
                      {"U_kGy", jsonNumber(r.expanded)},
                      {"coverage", r.coverage},
                      {"k", r.coverage},
                      {"dof", jsonNumber(r.dof)},
                      {"budget", r.budget},
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

void printResult(Ctx& ctx, const Record& rec, const Fit& fit) {
    if (rec.result.inRange)
        ctx.print(QStringLiteral("recorded: ") + resultText(rec.result, fit));
    else if (rec.result.validity == Validity::NoDose)
        ctx.print(QStringLiteral("recorded: no dose (%1)").arg(rec.result.reason));
    else
        ctx.print(QStringLiteral("recorded: %1 (%2)")
                      .arg(resultText(rec.result, fit), rec.result.reason));
    printComponents(ctx, rec.result);
    for (const QString& line : wavelengthLines(rec))
        ctx.print(line);
    if (rec.second)
        ctx.print(agreementText(rec) + (rec.second->hasAgreement && rec.second->note.size()
                                            ? QStringLiteral("; ") + rec.second->note
                                            : QString()));
    if (!rec.flags.isEmpty())
        ctx.print(QStringLiteral("flags: ") + rec.flags.join(QStringLiteral(", ")));
}

int readAtPosition(Ctx& ctx, Store& store, ReaderSource& reader, const MappingReadRequest& req) {
    auto read = readMappingDose(store, reader, req, ctx.env.now);
    if (!read)
        return ctx.refuse(read.error());
    const PositionDose& d = read->dose;
    if (ctx.json) {
        QJsonObject o = positionDoseJson(d);
        o.insert("absorbance", jsonNumber(read->record.absorbance));
        o.insert("components", componentsJson(read->record.result.components));
        o.insert("chain_head", read->chainHead);
        return ctx.printJson(o);
    }
    ctx.print(QStringLiteral("run %1, position %2: dosimeter %3 (%4)")
                  .arg(d.runId, d.position, d.dosimeter, positionStateName(d.state)));
    printResult(ctx, read->record, read->fit);
    if (read->record.flags.contains(QStringLiteral("training")))
        ctx.print(QStringLiteral("training study: no reader check is asked for"));
    return ctx.done(read->chainHead);
}

int read(Ctx& ctx) {
    const auto id = ctx.integer(QStringLiteral("calibration"));
    const auto count = ctx.integer(QStringLiteral("readings"), kReadingCount);
    const auto irradiated = ctx.time(QStringLiteral("irradiated-at"));
    const auto thickness = gauge(ctx);
    if (ctx.usageError())
        return kUsage;
    ReadRequest request;
    request.dosimeter = ctx.value(QStringLiteral("dosimeter")).trimmed();
    if (request.dosimeter.isEmpty())
        return ctx.usage(QStringLiteral("--dosimeter needs the dosimeter's id"));
    request.thicknessUm = thickness->thicknessUm;
    request.uThicknessUm = thickness->uThicknessUm;
    request.thicknessConfirmed = ctx.has(QStringLiteral("confirm-thickness"));
    request.jobId = ctx.value(QStringLiteral("job"));
    request.calibrationId = *id;
    request.readings = static_cast<int>(count.value_or(3));
    if (irradiated)
        request.irradiatedAt = *irradiated;
    request.comment = ctx.value(QStringLiteral("comment"));
    request.operatorName = ctx.env.operatorName;
    request.timeoutMs = ctx.env.readingTimeoutMs;
    const bool mapping = ctx.has(QStringLiteral("run")) || ctx.has(QStringLiteral("position"));
    if (mapping == ctx.has(QStringLiteral("job")))
        return ctx.usage(QStringLiteral("read needs --job, or --run and --position"));
    if (mapping && !(ctx.has(QStringLiteral("run")) && ctx.has(QStringLiteral("position"))))
        return ctx.usage(QStringLiteral("a mapping read needs both --run and --position"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    std::unique_ptr<ReaderSource> reader = ctx.env.reader ? ctx.env.reader() : nullptr;
    if (!reader)
        return ctx.refuse(QStringLiteral("no reader to read from"));
    if (mapping)
        return readAtPosition(
            ctx, *store, *reader,
            {ctx.value(QStringLiteral("run")), ctx.value(QStringLiteral("position")), request});
    auto read = readDosimeter(*store, *reader, request, ctx.env.now);
    if (!read)
        return ctx.refuse(read.error());
    const Record& rec = read->record;
    if (ctx.json) {
        QJsonObject o = recordJson(rec);
        o.insert("chain_head", read->chainHead);
        if (!read->warning.isEmpty())
            o.insert("warning", read->warning);
        return ctx.printJson(o);
    }
    ctx.print(QStringLiteral("record %1: dosimeter %2 of job %3")
                  .arg(QString::number(rec.id), rec.dosimeter, rec.jobId));
    printResult(ctx, rec, read->fit);
    if (rec.flags.contains(QStringLiteral("training")))
        ctx.print(QStringLiteral("training job: no reader check is asked for"));
    if (!read->warning.isEmpty())
        ctx.warn(read->warning);
    return ctx.done(read->chainHead);
}

} // namespace

void addDoseCommands(std::vector<Command>& c) {
    c.push_back({QStringLiteral("dose"),
                 QStringLiteral("dose --calibration ID --absorbance A [--second-absorbance A2] "
                                "[--thickness-um T [--confirm-thickness]] [--u-thickness-um U] "
                                "[--reader-sd S]"),
                 QStringLiteral("Computes a dose from an absorbance through a calibration's latest "
                                "(accepted) fit, with its expanded uncertainty (k from the "
                                "effective degrees of freedom, for 95.45 %) and the components. "
                                "Without --thickness-um the batch's nominal thickness "
                                "is used; a gauge thickness more than 20 % from it needs "
                                "--confirm-thickness; a gauged film adds no thickness term (the "
                                "calibration's films were gauged too). --reader-sd is the spread "
                                "of the readings taken: only what exceeds the calibration's "
                                "counts. Nothing is recorded: a response outside the calibrated "
                                "range, or one the curve gives no dose for, exits 1 with the "
                                "reason. --second-absorbance is the same film's absorbance at "
                                "the other wavelength, read through the calibration made from "
                                "the same films: both doses, whether they agree within the "
                                "uncertainty of their difference, and their weighted "
                                "combination; doses that disagree exit 1 "
                                "(wavelength_mismatch), and where only one is within its "
                                "calibrated range it is the dose."),
                 {QStringLiteral("calibration"), QStringLiteral("absorbance"),
                  QStringLiteral("second-absorbance"), QStringLiteral("thickness-um"),
                  QStringLiteral("u-thickness-um"), QStringLiteral("reader-sd")},
                 {QStringLiteral("confirm-thickness")},
                 {QStringLiteral("calibration"), QStringLiteral("absorbance")},
                 0,
                 dose});
    c.push_back(
        {QStringLiteral("read"),
         QStringLiteral("read (--job J | --run RUN --position P) --dosimeter D --calibration ID "
                        "[--thickness-um T [--confirm-thickness]] [--u-thickness-um U] "
                        "[--readings N] [--irradiated-at TIME] [--comment TEXT]"),
         QStringLiteral("Captures the next N (default 3) absorbances the running reader "
                        "serves and records the dosimeter's dose, or that it has none (below "
                        "or above the calibrated range, no dose): an original observation "
                        "either way. Refused unless the reader is reading without a fault, "
                        "with film in the head, at the calibration's wavelength and head; a "
                        "simulated head only in a training job; for any other job, only with a "
                        "passing reader check within the lab's interval and no failed one "
                        "since. With --run and --position the film is a mapping run's: read "
                        "under the same rules (the simulated head only in a training study) "
                        "and stored as the run's dose at that position, with its absorbances, "
                        "calibration, versions and flags; refused for a position the run's "
                        "study lacks, a position the run has a dose at, or an approved study."),
         {QStringLiteral("job"), QStringLiteral("run"), QStringLiteral("position"),
          QStringLiteral("dosimeter"), QStringLiteral("calibration"),
          QStringLiteral("thickness-um"), QStringLiteral("u-thickness-um"),
          QStringLiteral("readings"), QStringLiteral("irradiated-at"), QStringLiteral("comment")},
         {QStringLiteral("confirm-thickness")},
         {QStringLiteral("dosimeter"), QStringLiteral("calibration")},
         0,
         read});
}

} // namespace qvr::dose
