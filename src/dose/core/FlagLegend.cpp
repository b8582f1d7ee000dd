#include "dose/core/FlagLegend.h"

#include "dose/core/Record.h"

namespace qvr::dose {

const std::vector<FlagMeaning>& flagLegend() {
    static const std::vector<FlagMeaning> legend{
        {QStringLiteral("below_dmin"), QStringLiteral("below Dmin"),
         QStringLiteral("the dose lies below the job's Dmin by the job's decision rule"),
         Tone::Bad},
        {QStringLiteral("above_dmax"), QStringLiteral("above Dmax"),
         QStringLiteral("the dose lies above the job's Dmax by the job's decision rule"),
         Tone::Bad},
        {QStringLiteral("undecided"), QStringLiteral("undecided"),
         QStringLiteral("a limit lies within D ± U: the guarded rule cannot decide"),
         Tone::Caution},
        {QStringLiteral("below_range"), QStringLiteral("below the calibrated range"),
         QStringLiteral("the response is below the lowest calibration level's: no dose, kept "
                        "as an observation"),
         Tone::Off},
        {QStringLiteral("above_range"), QStringLiteral("above the calibrated range"),
         QStringLiteral("the response is above the highest calibration level's: no dose, kept "
                        "as an observation"),
         Tone::Off},
        {QStringLiteral("no_dose"), QStringLiteral("no dose"),
         QStringLiteral("the calibration curve gives no finite dose at this response"), Tone::Off},
        {QStringLiteral("outside_range"), QStringLiteral("outside the range"),
         QStringLiteral("a record of an earlier program, judged by its dose; kept as written"),
         Tone::Off},
        {QStringLiteral("wavelength_mismatch"), QStringLiteral("wavelength mismatch"),
         QStringLiteral("the film's doses at its two wavelengths differ by more than k u of "
                        "their difference: no dose, the film or its reading is suspect"),
         Tone::Bad},
        {QStringLiteral("outside_window"), QStringLiteral("outside the reading window"),
         QStringLiteral("read outside the calibration's time window after irradiation: it does "
                        "not count"),
         Tone::Off},
        {kCheckFailedAfter, QStringLiteral("reader check failed after"),
         QStringLiteral("a later filter check of this head and wavelength failed: the read does "
                        "not count"),
         Tone::Off},
        {QStringLiteral("training"), QStringLiteral("training"),
         QStringLiteral("a training job's read: never approved, never a release"), std::nullopt},
        {QStringLiteral("simulated"), QStringLiteral("simulated"),
         QStringLiteral("read on the simulated head, not on film"), std::nullopt},
        {QStringLiteral("reread_N"), QStringLiteral("reread N"),
         QStringLiteral("the Nth reread of this dosimeter in the job"), std::nullopt},
        {QStringLiteral("caution"), QStringLiteral("caution"),
         QStringLiteral("the reader's state: its zero raised a light-path caution, so nothing "
                        "is captured until it is zeroed again"),
         Tone::Caution},
    };
    return legend;
}

std::optional<FlagMeaning> flagMeaning(const QString& flag) {
    const QString key =
        flag.startsWith(QLatin1String("reread_")) ? QStringLiteral("reread_N") : flag;
    for (const FlagMeaning& m : flagLegend())
        if (m.flag == key)
            return m;
    return std::nullopt;
}

QString flagsExplained(const QStringList& flags) {
    QStringList lines;
    for (const QString& f : flags)
        if (auto m = flagMeaning(f))
            lines << QStringLiteral("%1: %2").arg(f, m->meaning);
        else
            lines << f;
    return lines.join(QLatin1Char('\n'));
}

QString toneLegend() {
    return QStringLiteral("green: within the limits; amber: undecided; red: beyond a limit; "
                          "grey: a read that does not count");
}

} // namespace qvr::dose
