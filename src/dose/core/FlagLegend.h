#pragma once
// What each flag of a read means, in one place: the window's tooltips, the report's legend, the
// guide and the README all say the same. The tone is the colour a read so flagged is shown in;
// flags that only describe a read have none of their own.

#include "dose/core/LinkState.h"

#include <QStringList>
#include <optional>
#include <vector>

namespace qvr::dose {

struct FlagMeaning {
    QString flag;    // as recorded: "below_dmin", "reread_N"
    QString word;    // as the window and the report say it: "below Dmin"
    QString meaning; // a sentence
    std::optional<Tone> tone;
};

// Every flag a read can carry, and the reader's caution state, in the order a legend lists them.
const std::vector<FlagMeaning>& flagLegend();

// The legend's entry for flag ("reread_2" finds "reread_N"), or nothing for one it lacks.
std::optional<FlagMeaning> flagMeaning(const QString& flag);

// One line per flag, "below_dmin: ...", for a tooltip.
QString flagsExplained(const QStringList& flags);

// The colours' meaning in words: "green: ...; amber: ...".
QString toneLegend();

} // namespace qvr::dose
