#include "dose/core/ReadingPeriod.h"

namespace qvr::dose {

std::optional<QString> ReadingPeriod::broken(const ReaderItems& items) const {
    if (!begun_)
        return std::nullopt;
    auto text = [&](const ReaderItems& from, const char* name) {
        return from.value(QLatin1String(name)).toString();
    };
    auto changed = [&](const char* name) { return text(start_, name) != text(items, name); };
    if (changed(kOwnerItem))
        return QStringLiteral("the reader was restarted");
    if (changed("Simulated"))
        return QStringLiteral("the reader changed between the simulated and a real head");
    // A new wavelength brings a new zero: the wavelength is the cause to name.
    if (changed("WL"))
        return QStringLiteral("the wavelength changed from %1 to %2")
            .arg(text(start_, "WL"), text(items, "WL"));
    if (changed("Zeros"))
        return QStringLiteral("the reader took a new zero");
    if (text(items, "lblPresent") != QLatin1String("Film"))
        return QStringLiteral("the film switch opened");
    if (text(items, "State") != QLatin1String("reading"))
        return QStringLiteral("the reader stopped reading (state: %1)").arg(text(items, "State"));
    return std::nullopt;
}

} // namespace qvr::dose
