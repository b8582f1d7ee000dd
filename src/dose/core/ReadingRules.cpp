#include "dose/core/ReadingRules.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

std::optional<QString> refusal(const ReaderItems& items, const ReadingContext& context) {
    for (const char* name : {"State", "Fault", "Simulated", "Zeros"})
        if (!items.contains(QLatin1String(name)))
            return QStringLiteral("the reader does not serve its %1 item; a newer qvr100pci is "
                                  "needed to take readings")
                .arg(QLatin1String(name));
    const QString fault = items.value(QStringLiteral("Fault")).toString();
    if (!fault.isEmpty())
        return QStringLiteral("the reader reports a fault: %1").arg(fault);
    const QString state = items.value(QStringLiteral("State")).toString();
    if (state == QLatin1String("caution"))
        return QStringLiteral("the reader's zero is cautioned (%1): zero it again with the light "
                              "path clear before reading")
            .arg(items.value(QStringLiteral("Notice")).toString());
    if (state != QLatin1String("reading"))
        return QStringLiteral("the reader is not reading (state: %1)").arg(state);
    if (items.value(QStringLiteral("Simulated")).toBool() && !context.training)
        return QStringLiteral("the reader runs on the simulated head; its readings are accepted "
                              "only in a training job");
    const QString present = items.value(QStringLiteral("lblPresent")).toString();
    if (present != QLatin1String("Film"))
        return QStringLiteral("no film in the head (the reader says \"%1\")").arg(present);
    const QString wl = items.value(QStringLiteral("WL")).toString();
    const auto nm = servedWavelength(wl);
    if (!nm || *nm != context.wavelengthNm)
        return QStringLiteral("the reader is at \"%1\"; the calibration is for %2 nm")
            .arg(wl, QString::number(context.wavelengthNm));
    const QString sn = items.value(QStringLiteral("lblSN")).toString().trimmed();
    if (sn != context.headSerial)
        return QStringLiteral("the reader's head is \"%1\"; the calibration is for head %2")
            .arg(sn, context.headSerial);
    return std::nullopt;
}

Outcome<double> servedAbsorbance(const QString& text) {
    if (text == QLatin1String("Zeroing"))
        return Failure{QStringLiteral("the reader has not finished zeroing")};
    if (text == QLatin1String(">3.0"))
        return Failure{QStringLiteral("the absorbance is above 3.0, beyond the reader's range")};
    if (text == QLatin1String("Error"))
        return Failure{QStringLiteral("the reader shows Error instead of an absorbance")};
    const auto value = parseNumber(text);
    if (!value)
        return Failure{QStringLiteral("the reader's absorbance \"%1\" is not a number").arg(text)};
    return *value;
}

std::optional<int> servedWavelength(const QString& text) {
    QString t = text.trimmed();
    if (!t.endsWith(QLatin1String(" nm")))
        return std::nullopt;
    t.chop(3);
    bool ok = false;
    const int nm = t.toInt(&ok);
    return ok && nm > 0 ? std::optional<int>(nm) : std::nullopt;
}

} // namespace qvr::dose
