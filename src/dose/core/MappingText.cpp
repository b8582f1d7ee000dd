#include "dose/core/MappingText.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"

namespace qvr::dose {

QString valueWithU(double value, double expanded) {
    const RoundedDose r = roundedToU(value, expanded);
    return QStringLiteral("%1 ± %2").arg(r.dose, r.expanded);
}

QString doseAtText(const std::optional<DoseAt>& d, const char* bound) {
    if (!d)
        return QStringLiteral("-");
    if (d->bound)
        return QStringLiteral("%1 %2 kGy at %3")
            .arg(QLatin1String(bound), numberText(d->doseKGy), d->position);
    return QStringLiteral("%1 kGy at %2").arg(valueWithU(d->doseKGy, d->expanded), d->position);
}

QString listText(const QStringList& items) {
    return items.isEmpty() ? QStringLiteral("-") : items.join(QStringLiteral(", "));
}

QString doubtText(const PositionDose& d) {
    if (d.flags.contains(kCheckFailedAfter))
        return QStringLiteral("check failed");
    if (d.flags.contains(QStringLiteral("outside_window")))
        return QStringLiteral("outside window");
    return {};
}

QString doubtLegend() {
    return QStringLiteral("\"check failed\": a reader check failed after the read "
                          "(reader_check_failed_after); \"outside window\": read outside the "
                          "reading window (outside_window). Such a read has no valid dose and "
                          "blocks approval, as a missing one does.");
}

QString processText(const MappingStudy& s) {
    QStringList parts;
    if (!s.processUnit.isEmpty())
        parts << QStringLiteral("%1 %2").arg(numberText(s.processValue), s.processUnit);
    if (!s.processText.isEmpty())
        parts << s.processText;
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QStringLiteral(": "));
}

} // namespace qvr::dose
