// calibration check: whether the fit's U covers what it claims, by Monte Carlo simulation.

#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/core/Quantity.h"

namespace qvr::dose {

namespace {

constexpr Quantity kSimulations{10, 1000000, false, "", true};
constexpr Quantity kSeed{0, 4294967295.0, false, "", true};

int check(Ctx& ctx) {
    const auto id = ctx.integerArgument(0);
    const auto trials = ctx.integer(QStringLiteral("monte-carlo"), kSimulations);
    const auto seed = ctx.integer(QStringLiteral("seed"), kSeed);
    if (ctx.usageError())
        return kUsage;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto plan = coverageCheckPlan(*store, *id);
    if (!plan)
        return ctx.refuse(plan.error());
    const CoverageReport r =
        runCoverageCheck(*plan, static_cast<int>(*trials), static_cast<quint64>(seed.value_or(1)));
    const Fit* f = &plan->fit;
    if (ctx.json) {
        QJsonArray levels;
        for (const CoverageAtDose& at : r.levels)
            levels.append(QJsonObject{{"dose_kGy", at.dose},
                                      {"films", at.films},
                                      {"coverage_percent", jsonNumber(at.coveragePercent)},
                                      {"U_over_error", jsonNumber(at.uOverError)},
                                      {"median_U_percent", jsonNumber(at.medianUPercent)},
                                      {"error_sd_percent", jsonNumber(at.errorSdPercent)},
                                      {"median_k", jsonNumber(at.medianK)}});
        return ctx.printJson(QJsonObject{{"calibration", *id},
                                         {"fit", f->id},
                                         {"simulations", r.calibrations},
                                         {"rejected", r.rejected},
                                         {"seed", seed.value_or(1)},
                                         {"levels", levels}});
    }
    ctx.print(QStringLiteral("fit %1 of calibration %2: %3 simulated calibrations (seed %4), %5 "
                             "not accepted and not used")
                  .arg(QString::number(f->id), QString::number(*id),
                       QString::number(r.calibrations), QString::number(seed.value_or(1)),
                       QString::number(r.rejected)));
    for (const CoverageAtDose& at : r.levels)
        ctx.print(QStringLiteral("  %1 kGy: U covers the true dose in %2 % of %3 films; median U "
                                 "%4 % (k = %5), observed error 2 sd %6 %, U / error %7")
                      .arg(numberText(at.dose), fixed(at.coveragePercent, 1),
                           QString::number(at.films), fixed(at.medianUPercent, 2),
                           QString::number(at.medianK, 'g', 3), fixed(2 * at.errorSdPercent, 2),
                           fixed(at.uOverError, 2)));
    ctx.print(QStringLiteral("This checks that the uncertainty propagates consistently from the "
                             "calibration's stated components, not that each component's size "
                             "is right."));
    return kOk;
}

} // namespace

void addCalibrationCheckCommand(std::vector<Command>& c) {
    c.push_back(
        {QStringLiteral("calibration check"),
         QStringLiteral("calibration check ID --monte-carlo N [--seed S]"),
         QStringLiteral("Simulates N calibrations and routine films from the latest fit (its "
                        "curve, reproducibility, reference dose uncertainty, levels and films), "
                        "refits each as the program does and reports, at each inner dose level, "
                        "how often U covered the true dose and U over the observed error. The "
                        "same seed gives the same result. It checks the propagation, not the "
                        "size of each component."),
         {QStringLiteral("monte-carlo"), QStringLiteral("seed")},
         {},
         {QStringLiteral("monte-carlo")},
         1,
         check});
}

} // namespace qvr::dose
