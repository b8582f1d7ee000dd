#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/core/Fitting.h"
#include "dose/usecases/CalibrationFitting.h"
#include "dose/usecases/CalibrationImport.h"

namespace qvr::dose {

namespace {

// Film makers expect about 2 % between replicates and look into more than 3 % from 10 kGy up.
constexpr double kCvInvestigatePercent = 3;
constexpr double kCvFromKGy = 10;

QJsonValue optionalJson(const std::optional<double>& v) {
    return v ? jsonNumber(*v) : QJsonValue();
}

QJsonObject fitJson(const Fit& f) {
    QJsonArray cv;
    for (size_t i = 0; i < f.levelDoses.size(); ++i) {
        QJsonObject level{{"dose_kGy", f.levelDoses[i]}, {"cv_percent", f.levelCvPercent[i]}};
        if (i < f.levelResponses.size())
            level.insert("mean_response", jsonNumber(f.levelResponses[i]));
        cv.append(level);
    }
    const Acceptance& a = f.acceptance;
    return {
        {"id", f.id},
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
        {"budget", f.budget},
        {"reproducibility", QJsonObject{{"by_dose", f.reproducibility.byDose},
                                        {"a_percent", jsonNumber(100 * f.reproducibility.a)},
                                        {"b_percent_kGy", jsonNumber(100 * f.reproducibility.b)},
                                        {"dof", f.reproducibility.dof}}},
        {"fit_dof", f.fitDof},
        {"choice", f.choice},
        {"excluded", QJsonArray::fromStringList(f.excluded)},
        {"exclusion_reason", f.exclusionReason},
        {"accepted", a.accepted},
        {"judged_when_fitted", f.judgedWhenFitted},
        {"rejections", QJsonArray::fromStringList(a.rejections)},
        {"outliers", QJsonArray::fromStringList(a.outliers)},
        {"investigate", QJsonArray::fromStringList(a.investigate)},
        {"lack_of_fit", QJsonObject{{"f", optionalJson(a.lackOfFitF)},
                                    {"p", optionalJson(a.lackOfFitP)},
                                    {"dof", QJsonArray{a.lackOfFitDof, a.pureErrorDof}}}},
        {"pure_error_percent", jsonNumber(a.pureErrorPercent)},
        {"criteria", QJsonObject{{"min_levels", a.criteria.minLevels},
                                 {"levels_per_decade", a.criteria.levelsPerDecade},
                                 {"min_replicates", a.criteria.minReplicates}}},
        {"signature", signatureJson(f.signature, f.operatorName)}};
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
    QJsonArray amendments;
    for (const Amendment& a : c.amendments)
        amendments.append(amendmentJson(a));
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
        {"same_films_as", c.sameFilmsAs != 0 ? QJsonValue(c.sameFilmsAs) : QJsonValue()},
        {"operator", c.operatorName},
        {"created_at", timeText(c.createdAt)},
        {"version", c.version},
        {"amendments", amendments}};
}

QString calibrationLine(const Calibration& c) {
    return QStringLiteral("%1  batch %2  head %3  %4 nm  %5 points  certificate %6  valid until "
                          "%7%8")
        .arg(QString::number(c.id), c.batchId, c.headSerial, QString::number(c.wavelengthNm),
             QString::number(c.points.size()),
             c.certificate.isEmpty() ? QStringLiteral("-") : c.certificate,
             c.validUntil.isValid() ? dateText(c.validUntil) : QStringLiteral("-"),
             c.sameFilmsAs != 0
                 ? QStringLiteral("  same films as %1").arg(QString::number(c.sameFilmsAs))
                 : QString());
}

void printAcceptance(Ctx& ctx, const Fit& f) {
    const Acceptance& a = f.acceptance;
    if (!f.excluded.isEmpty())
        ctx.print(QStringLiteral("  excluded: %1 (reason: %2)")
                      .arg(f.excluded.join(QStringLiteral(", ")), f.exclusionReason));
    ctx.print(QStringLiteral("  pure error (replicates' pooled spread of dose) %1 % with %2 "
                             "degrees of freedom")
                  .arg(fixed(a.pureErrorPercent, 2))
                  .arg(a.pureErrorDof));
    if (a.lackOfFitP)
        ctx.print(QStringLiteral("  lack of fit: F = %1 with %2 and %3 degrees of freedom, p = %4 "
                                 "(rejected below %5)")
                      .arg(a.lackOfFitF ? QString::number(*a.lackOfFitF, 'g', 4)
                                        : QStringLiteral("infinite"))
                      .arg(a.lackOfFitDof)
                      .arg(a.pureErrorDof)
                      .arg(QString::number(*a.lackOfFitP, 'g', 3))
                      .arg(kLackOfFitAlpha));
    ctx.print(QStringLiteral("  criteria: at least %1 dose levels and %2 per factor of ten, %3 "
                             "films at each; no point beyond %4 times the pure error")
                  .arg(a.criteria.minLevels)
                  .arg(a.criteria.levelsPerDecade)
                  .arg(a.criteria.minReplicates)
                  .arg(kResidualRejectSd));
    if (!a.outliers.isEmpty())
        ctx.print(QStringLiteral("  suspected outliers (Grubbs, 99 %%): %1: investigate; a refit "
                                 "without one is calibration fit %2 --exclude ID --reason TEXT")
                      .arg(a.outliers.join(QStringLiteral(", ")))
                      .arg(f.calibrationId));
    if (!a.investigate.isEmpty())
        ctx.print(QStringLiteral("  beyond %1 times the pure error, to investigate: %2")
                      .arg(kResidualInvestigateSd)
                      .arg(a.investigate.join(QStringLiteral(", "))));
    const QString when = f.judgedWhenFitted ? QString()
                                            : QStringLiteral(" (judged now: the fit was stored "
                                                             "before fits were judged)");
    if (a.accepted) {
        ctx.print(QStringLiteral("  ACCEPTED%1; %2")
                      .arg(when, signatureOrAttribution(f.signature, f.operatorName)));
        return;
    }
    ctx.print(QStringLiteral("  REJECTED%1: this calibration gives no dose until a fit is "
                             "accepted")
                  .arg(when));
    for (const QString& why : a.rejections)
        ctx.print(QStringLiteral("  - ") + why);
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
    for (size_t i = 0; i < f.residualsPercent.size() && i < c.points.size(); ++i) {
        const QString name = pointName(c, i);
        ctx.print(
            QStringLiteral("  %1  %2  %3  %4  %5%6")
                .arg(QString::number(i + 1).rightJustified(5),
                     (c.points[i].dosimeter.isEmpty() ? QStringLiteral("-") : c.points[i].dosimeter)
                         .rightJustified(9),
                     numberText(c.points[i].doseKGy).rightJustified(8),
                     fixed(k[i], 4).rightJustified(13),
                     fixed(f.residualsPercent[i], 2).rightJustified(10),
                     f.excluded.contains(name)                 ? QStringLiteral("  excluded")
                     : f.acceptance.outliers.contains(name)    ? QStringLiteral("  outlier?")
                     : f.acceptance.investigate.contains(name) ? QStringLiteral("  investigate")
                                                               : QString()));
    }
    for (size_t i = 0; i < f.levelDoses.size(); ++i) {
        const bool investigate =
            f.levelDoses[i] >= kCvFromKGy && f.levelCvPercent[i] > kCvInvestigatePercent;
        ctx.print(QStringLiteral("  replicate CV at %1 kGy: %2 %%3")
                      .arg(numberText(f.levelDoses[i]), fixed(f.levelCvPercent[i], 2),
                           investigate ? QStringLiteral("  (above 3 %: investigate)") : QString()));
    }
    if (!f.choice.isEmpty())
        ctx.print(QStringLiteral("  chosen: ") + f.choice);
    printAcceptance(ctx, f);
}

int import(Ctx& ctx) {
    const auto wavelength = ctx.integer(QStringLiteral("wavelength"), kWavelengthNm);
    const auto validUntil = ctx.dateFromToday(QStringLiteral("valid-until"));
    CalibrationImport in;
    in.uDosePercent = ctx.number(QStringLiteral("u-dose-percent"), kUDosePercent);
    in.readerSd = ctx.number(QStringLiteral("reader-sd"), kReaderSd);
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
    c.wavelengthNm = wavelength ? static_cast<int>(*wavelength) : 0;
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
    const QString head = r->back().hash;
    if (ctx.json) {
        QJsonArray ids;
        for (const Receipt& made : *r)
            ids.append(made.id);
        return ctx.printJson(
            QJsonObject{{"id", r->front().id}, {"ids", ids}, {"chain_head", head}});
    }
    for (const Receipt& made : *r)
        ctx.print(QString::number(made.id));
    c.id = r->front().id;
    if (auto note = trainingOnlyText(c))
        *ctx.env.err << "note: " << *note << Qt::endl;
    if (r->size() > 1)
        *ctx.env.err << "note: calibrations " << r->front().id << " and " << r->back().id
                     << " were made from the same films, one per wavelength" << Qt::endl;
    *ctx.env.err << "chain head " << head << Qt::endl;
    ctx.noteWrite(head);
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
    FitRequest request{*id,
                       model,
                       !ctx.has(QStringLiteral("unweighted")),
                       ctx.env.operatorName,
                       ctx.values(QStringLiteral("exclude")),
                       ctx.value(QStringLiteral("reason")).trimmed()};
    if (!request.exclude.isEmpty() && request.exclusionReason.isEmpty())
        return ctx.usage(QStringLiteral("--exclude needs --reason saying why"));
    if (ctx.has(QStringLiteral("weighted")) && ctx.has(QStringLiteral("unweighted")))
        return ctx.usage(QStringLiteral("--weighted and --unweighted exclude each other"));
    if (request.exclude.isEmpty() && ctx.has(QStringLiteral("reason")))
        return ctx.usage(QStringLiteral("--reason goes with --exclude"));
    Signer* signer = ctx.signer();
    if (!signer)
        return kRefused;
    auto stored = fitAndStore(*ctx.store(), *signer, request);
    if (!stored)
        return ctx.refuse(stored.error());
    const Fit& f = stored->fit;
    if (ctx.json) {
        QJsonObject o = fitJson(f);
        o.insert("chain_head", stored->chainHead);
        ctx.printJson(o);
    } else {
        printFit(ctx, f, stored->calibration);
        ctx.done(stored->chainHead);
    }
    // Stored either way: a rejected fit is a record of what was tried, and why it failed.
    if (!f.acceptance.accepted)
        return ctx.refuse(
            QStringLiteral("fit %1 of calibration %2 is stored as rejected: %3%4")
                .arg(QString::number(f.id), QString::number(*id), f.acceptance.rejections.value(0),
                     f.acceptance.rejections.size() == 2 ? QStringLiteral("; and 1 more reason")
                     : f.acceptance.rejections.size() > 2
                         ? QStringLiteral("; and %1 more reasons")
                               .arg(f.acceptance.rejections.size() - 1)
                         : QString()));
    return kOk;
}

int show(Ctx& ctx) {
    const auto id = ctx.integerArgument(0);
    if (ctx.usageError())
        return kUsage;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto cf = calibrationWithFit(*store, *id);
    if (!cf)
        return ctx.refuse(cf.error());
    const Calibration* c = &cf->calibration;
    const Outcome<Fit>& f = cf->fit;
    if (ctx.json) {
        QJsonObject o = calibrationJson(*c);
        o.insert("fit", f ? QJsonValue(fitJson(*f)) : QJsonValue());
        // Who answers for the calibration: the signature of its accepted fit.
        o.insert("signature", f && f->acceptance.accepted
                                  ? QJsonValue(signatureJson(f->signature, f->operatorName))
                                  : QJsonValue());
        return ctx.printJson(o);
    }
    ctx.print(calibrationLine(*c));
    ctx.print(QStringLiteral("A0 %1, imported by %2 at %3")
                  .arg(numberText(c->a0), c->operatorName, timeText(c->createdAt)));
    for (const Amendment& a : c->amendments)
        ctx.print(amendmentLine(a));
    if (f)
        printFit(ctx, *f, *c);
    else
        ctx.print(QStringLiteral("no fit yet"));
    return kOk;
}

int amend(Ctx& ctx) {
    const auto id = ctx.integerArgument(0);
    const auto validUntil = ctx.dateFromToday(QStringLiteral("valid-until"));
    if (ctx.usageError())
        return kUsage;
    Amendment a;
    a.subject = kCalibrationSubject;
    a.subjectId = QString::number(*id);
    a.certificate = ctx.value(QStringLiteral("certificate"));
    a.validUntil = validUntil.value_or(QDate());
    a.reason = ctx.value(QStringLiteral("reason"));
    return addAmendment(ctx, a);
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
         QStringLiteral("calibration import FILE.csv --batch ID --head SN [--wavelength NM] "
                        "[--certificate REF] [--valid-until DATE] [--u-dose-percent P] "
                        "[--window-min-h H] [--window-max-h H] [--reader-sd S]"),
         QStringLiteral("Imports calibration points from CSV (columns dose_kGy, absorbance, "
                        "thickness_um; optional u_dose_percent, dosimeter) and prints the "
                        "new calibration's id. Films read at both wavelengths give "
                        "absorbance_NM columns (absorbance_510, absorbance_600) in place of "
                        "absorbance: one calibration per wavelength, each id on its own line, "
                        "linked as made from the same films; --wavelength, needed for a file "
                        "of one absorbance column, must then be one of them. --u-dose-percent is "
                        "the reference dose's "
                        "relative standard uncertainty (k = 1) for a file without that "
                        "column; the window is the time after irradiation within which "
                        "films are read. --reader-sd is the spread of the readings the films "
                        "were read with: a routine read's spread counts in its uncertainty "
                        "only beyond it."),
         {QStringLiteral("batch"), QStringLiteral("head"), QStringLiteral("wavelength"),
          QStringLiteral("certificate"), QStringLiteral("valid-until"),
          QStringLiteral("u-dose-percent"), QStringLiteral("window-min-h"),
          QStringLiteral("window-max-h"), QStringLiteral("reader-sd")},
         {},
         {QStringLiteral("batch"), QStringLiteral("head")},
         1,
         import});
    c.push_back(
        {QStringLiteral("calibration fit"),
         QStringLiteral("calibration fit ID [--model poly1|poly2|poly3|poly4|power|auto] "
                        "[--unweighted] [--exclude DOSIMETER --reason TEXT]"),
         QStringLiteral("Fits dose as a function of response, judges the fit (dose levels and "
                        "films per level, lack of fit against the replicates, residuals, "
                        "outliers), stores it and prints it; a rejected fit is stored too and "
                        "exits 1, and the calibration gives no dose until a fit is accepted. "
                        "auto (the default) offers the accepted model with the fewest "
                        "parameters. Each film is weighted by the film-to-film spread at its "
                        "dose (modelled from the levels' spreads); --unweighted fits the old "
                        "way, for comparison (--weighted, the default, is accepted). --exclude "
                        "leaves a film out of a new fit (again for "
                        "more, or #N for point N), naming why with --reason."),
         {QStringLiteral("model"), QStringLiteral("exclude"), QStringLiteral("reason")},
         {QStringLiteral("weighted"), QStringLiteral("unweighted")},
         {},
         1,
         fit});
    c.push_back({QStringLiteral("calibration show"),
                 QStringLiteral("calibration show ID"),
                 QStringLiteral("Shows a calibration as it is used now, its versions and its "
                                "latest fit."),
                 {},
                 {},
                 {},
                 1,
                 show});
    c.push_back(
        {QStringLiteral("calibration amend"),
         QStringLiteral("calibration amend ID [--certificate REF] [--valid-until DATE] "
                        "--reason TEXT"),
         QStringLiteral("Gives a calibration its certificate or validity as a new version "
                        "with the reason; reads made before keep the version they used."),
         {QStringLiteral("certificate"), QStringLiteral("valid-until"), QStringLiteral("reason")},
         {},
         {QStringLiteral("reason")},
         1,
         amend});
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
