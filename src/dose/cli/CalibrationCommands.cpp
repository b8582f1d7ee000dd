#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/usecases/CalibrationFitting.h"
#include "dose/usecases/CalibrationImport.h"

namespace qvr::dose {

namespace {

// Film makers expect about 2 % between replicates and look into more than 3 % from 10 kGy up.
constexpr double kCvInvestigatePercent = 3;
constexpr double kCvFromKGy = 10;

QJsonObject fitJson(const Fit& f) {
    QJsonArray cv;
    for (size_t i = 0; i < f.levelDoses.size(); ++i)
        cv.append(QJsonObject{{"dose_kGy", f.levelDoses[i]}, {"cv_percent", f.levelCvPercent[i]}});
    return {{"id", f.id},
            {"calibration", f.calibrationId},
            {"model", modelName(f.model)},
            {"weighted", f.weighted},
            {"coefficients", jsonNumbers(f.coefficients)},
            {"std_errors", jsonNumbers(f.stdErrors)},
            {"residuals_percent", jsonNumbers(f.residualsPercent)},
            {"rms_percent", f.rmsPercent},
            {"r2", f.r2},
            {"range_kGy", QJsonArray{f.doseLo, f.doseHi}},
            {"levels", cv},
            {"reference_percent", f.referencePercent},
            {"reproducibility_percent", f.reproducibilityPercent},
            {"choice", f.choice}};
}

QJsonObject calibrationJson(const Calibration& c) {
    QJsonArray points;
    for (const auto& p : c.points)
        points.append(QJsonObject{{"dosimeter", p.dosimeter},
                                  {"dose_kGy", p.doseKGy},
                                  {"u_dose_percent", p.uDosePercent},
                                  {"absorbance", p.absorbance},
                                  {"thickness_um", p.thicknessUm}});
    auto optional = [](const std::optional<double>& v) {
        return v ? QJsonValue(*v) : QJsonValue();
    };
    return {
        {"id", c.id},
        {"batch", c.batchId},
        {"head", c.headSerial},
        {"wavelength_nm", c.wavelengthNm},
        {"a0", c.a0},
        {"certificate", c.certificate},
        {"valid_until", c.validUntil.isValid() ? QJsonValue(dateText(c.validUntil)) : QJsonValue()},
        {"window_min_h", optional(c.windowMinHours)},
        {"window_max_h", optional(c.windowMaxHours)},
        {"points", points},
        {"operator", c.operatorName},
        {"created_at", timeText(c.createdAt)}};
}

QString calibrationLine(const Calibration& c) {
    return QStringLiteral("%1  batch %2  head %3  %4 nm  %5 points  certificate %6  valid until %7")
        .arg(QString::number(c.id), c.batchId, c.headSerial, QString::number(c.wavelengthNm),
             QString::number(c.points.size()),
             c.certificate.isEmpty() ? QStringLiteral("-") : c.certificate,
             c.validUntil.isValid() ? dateText(c.validUntil) : QStringLiteral("-"));
}

void printFit(Ctx& ctx, const Fit& f, const Calibration& c) {
    ctx.print(fitSummary(f));
    ctx.print(f.model == Model::Power
                  ? QStringLiteral("  D = a k^b, k in mm-1, D in kGy")
                  : QStringLiteral("  D = c0 + c1 k + ..., k in mm-1, D in kGy"));
    for (size_t i = 0; i < f.coefficients.size(); ++i)
        ctx.print(QStringLiteral("  %1 = %2 ± %3 (standard error)")
                      .arg(f.model == Model::Power ? QString(QLatin1Char(i == 0 ? 'a' : 'b'))
                                                   : QStringLiteral("c%1").arg(i),
                           QString::number(f.coefficients[i], 'g', 10),
                           QString::number(f.stdErrors[i], 'g', 3)));
    ctx.print(QStringLiteral("  RMS residual %1 %, R² %2")
                  .arg(fixed(f.rmsPercent, 2), QString::number(f.r2, 'f', 6)));
    const std::vector<double> k = c.responses();
    ctx.print(QStringLiteral("  point  dosimeter  dose kGy  response mm-1  residual %"));
    for (size_t i = 0; i < f.residualsPercent.size() && i < c.points.size(); ++i)
        ctx.print(
            QStringLiteral("  %1  %2  %3  %4  %5")
                .arg(QString::number(i + 1).rightJustified(5),
                     (c.points[i].dosimeter.isEmpty() ? QStringLiteral("-") : c.points[i].dosimeter)
                         .rightJustified(9),
                     numberText(c.points[i].doseKGy).rightJustified(8),
                     fixed(k[i], 4).rightJustified(13),
                     fixed(f.residualsPercent[i], 2).rightJustified(10)));
    for (size_t i = 0; i < f.levelDoses.size(); ++i) {
        const bool investigate =
            f.levelDoses[i] >= kCvFromKGy && f.levelCvPercent[i] > kCvInvestigatePercent;
        ctx.print(QStringLiteral("  replicate CV at %1 kGy: %2 %%3")
                      .arg(numberText(f.levelDoses[i]), fixed(f.levelCvPercent[i], 2),
                           investigate ? QStringLiteral("  (above 3 %: investigate)") : QString()));
    }
    if (!f.choice.isEmpty())
        ctx.print(QStringLiteral("  chosen: ") + f.choice);
}

int import(Ctx& ctx) {
    const auto wavelength = ctx.integer(QStringLiteral("wavelength"), kWavelengthNm);
    const auto validUntil = ctx.dateFromToday(QStringLiteral("valid-until"));
    CalibrationImport in;
    in.uDosePercent = ctx.number(QStringLiteral("u-dose-percent"), kUDosePercent);
    const auto windowMin = ctx.number(QStringLiteral("window-min-h"), kWindowHours);
    const auto windowMax = ctx.number(QStringLiteral("window-max-h"), kWindowHours);
    if (ctx.usageError())
        return kUsage;
    if (windowMin && windowMax && !(*windowMin < *windowMax))
        return ctx.usage(QStringLiteral("--window-min-h must be below --window-max-h"));
    Calibration& c = in.calibration;
    c.batchId = ctx.value(QStringLiteral("batch"));
    c.headSerial = ctx.value(QStringLiteral("head")).trimmed();
    if (c.headSerial.isEmpty())
        return ctx.usage(QStringLiteral("--head needs the head's serial number"));
    c.wavelengthNm = static_cast<int>(*wavelength);
    c.certificate = ctx.value(QStringLiteral("certificate"));
    if (validUntil)
        c.validUntil = *validUntil;
    c.windowMinHours = windowMin;
    c.windowMaxHours = windowMax;
    c.operatorName = ctx.env.operatorName;
    in.file = ctx.positional[0];

    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = importCalibration(*store, in, ctx.env.now().date());
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"id", r->id}, {"chain_head", r->hash}});
    ctx.print(QString::number(r->id));
    *ctx.env.err << "chain head " << r->hash << Qt::endl;
    ctx.noteWrite(r->hash);
    return kOk;
}

int fit(Ctx& ctx) {
    const auto id = ctx.integerArgument(0);
    if (ctx.usageError())
        return kUsage;
    const QString modelText = ctx.has(QStringLiteral("model")) ? ctx.value(QStringLiteral("model"))
                                                               : QStringLiteral("auto");
    const auto model = modelFromName(modelText);
    if (!model && modelText != QLatin1String("auto"))
        return ctx.usage(
            QStringLiteral("--model is one of poly1, poly2, poly3, poly4, power, auto"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto stored = fitAndStore(
        *store, {*id, model, ctx.has(QStringLiteral("weighted")), ctx.env.operatorName});
    if (!stored)
        return ctx.refuse(stored.error());
    if (ctx.json) {
        QJsonObject o = fitJson(stored->fit);
        o.insert("chain_head", stored->chainHead);
        return ctx.printJson(o);
    }
    printFit(ctx, stored->fit, stored->calibration);
    return ctx.done(stored->chainHead);
}

int show(Ctx& ctx) {
    const auto id = ctx.integerArgument(0);
    if (ctx.usageError())
        return kUsage;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto c = store->calibration(*id);
    if (!c)
        return ctx.refuse(c.error());
    auto f = store->latestFit(*id);
    if (ctx.json) {
        QJsonObject o = calibrationJson(*c);
        o.insert("fit", f ? QJsonValue(fitJson(*f)) : QJsonValue());
        return ctx.printJson(o);
    }
    ctx.print(calibrationLine(*c));
    ctx.print(QStringLiteral("A0 %1, imported by %2 at %3")
                  .arg(numberText(c->a0), c->operatorName, timeText(c->createdAt)));
    if (f)
        printFit(ctx, *f, *c);
    else
        ctx.print(QStringLiteral("no fit yet"));
    return kOk;
}

int list(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto all = store->calibrations();
    if (!all)
        return ctx.refuse(all.error());
    if (ctx.json) {
        QJsonArray a;
        for (const Calibration& c : *all)
            a.append(calibrationJson(c));
        return ctx.printJson(a);
    }
    for (const Calibration& c : *all)
        ctx.print(calibrationLine(c));
    return kOk;
}

} // namespace

void addCalibrationCommands(std::vector<Command>& c) {
    c.push_back(
        {QStringLiteral("calibration import"),
         QStringLiteral("calibration import FILE.csv --batch ID --head SN --wavelength NM "
                        "[--certificate REF] [--valid-until DATE] [--u-dose-percent P] "
                        "[--window-min-h H] [--window-max-h H]"),
         QStringLiteral("Imports calibration points from CSV (columns dose_kGy, absorbance, "
                        "thickness_um; optional u_dose_percent, dosimeter) and prints the "
                        "new calibration's id. --u-dose-percent is the reference dose's "
                        "relative standard uncertainty (k = 1) for a file without that "
                        "column; the window is the time after irradiation within which "
                        "films are read."),
         {QStringLiteral("batch"), QStringLiteral("head"), QStringLiteral("wavelength"),
          QStringLiteral("certificate"), QStringLiteral("valid-until"),
          QStringLiteral("u-dose-percent"), QStringLiteral("window-min-h"),
          QStringLiteral("window-max-h")},
         {},
         {QStringLiteral("batch"), QStringLiteral("head"), QStringLiteral("wavelength")},
         1,
         import});
    c.push_back(
        {QStringLiteral("calibration fit"),
         QStringLiteral("calibration fit ID [--model poly1|poly2|poly3|poly4|power|auto] "
                        "[--weighted]"),
         QStringLiteral("Fits dose as a function of response, stores the fit and prints it. "
                        "auto (the default) offers the model with the fewest parameters "
                        "whose RMS residual is within 0.5 percentage points of the best."),
         {QStringLiteral("model")},
         {QStringLiteral("weighted")},
         {},
         1,
         fit});
    c.push_back({QStringLiteral("calibration show"),
                 QStringLiteral("calibration show ID"),
                 QStringLiteral("Shows a calibration and its latest fit."),
                 {},
                 {},
                 {},
                 1,
                 show});
    c.push_back({QStringLiteral("calibration list"),
                 QStringLiteral("calibration list"),
                 QStringLiteral("Lists the calibrations."),
                 {},
                 {},
                 {},
                 0,
                 list});
}

} // namespace qvr::dose
