#include "dose/core/Quantity.h"

#include "dose/core/Canonical.h"
#include "dose/core/TextRules.h"

#include <charconv>
#include <cmath>
#include <tuple>

namespace qvr::dose {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString valueText(double v) {
    return numberText(v);
}

enum class Parsed { Number, Malformed, Overflow };

// The decimal grammar checked by hand, then std::from_chars, which takes no '+'.
Parsed decimal(QStringView text, double& value) {
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.mid(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    if (text.isEmpty() || text.size() > 64)
        return Parsed::Malformed;
    char buffer[65];
    qsizetype n = 0;
    for (QChar c : text) {
        if (c.unicode() > 0x7F)
            return Parsed::Malformed;
        buffer[n++] = static_cast<char>(c.unicode());
    }
    // sign? digits [. digits] [e sign? digits], at least one mantissa digit
    qsizetype i = 0;
    if (buffer[i] == '+' || buffer[i] == '-')
        ++i;
    const qsizetype mantissa = i;
    int digits = 0;
    while (i < n && isDigit(buffer[i]))
        ++i, ++digits;
    if (i < n && buffer[i] == '.') {
        ++i;
        while (i < n && isDigit(buffer[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return Parsed::Malformed;
    if (i < n && (buffer[i] == 'e' || buffer[i] == 'E')) {
        ++i;
        if (i < n && (buffer[i] == '+' || buffer[i] == '-'))
            ++i;
        int exponentDigits = 0;
        while (i < n && isDigit(buffer[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return Parsed::Malformed;
    }
    if (i != n)
        return Parsed::Malformed;
    const auto result = std::from_chars(buffer + mantissa, buffer + n, value);
    if (result.ptr != buffer + n)
        return Parsed::Malformed;
    if (result.ec != std::errc() || !std::isfinite(value))
        return Parsed::Overflow;
    if (buffer[0] == '-')
        value = -value;
    return Parsed::Number;
}

} // namespace

std::optional<double> parseDecimal(QStringView text) {
    double value = 0;
    if (decimal(text, value) != Parsed::Number)
        return std::nullopt;
    return value;
}

QString rangeText(const Quantity& q) {
    const QString unit = *q.unit ? QLatin1Char(' ') + QString::fromUtf8(q.unit) : QString();
    if (q.aboveLo)
        return QStringLiteral("above %1 and at most %2%3")
            .arg(valueText(q.lo), valueText(q.hi), unit);
    return QStringLiteral("from %1 to %2%3").arg(valueText(q.lo), valueText(q.hi), unit);
}

Outcome<double> parseQuantity(const QString& name, const QString& text, const Quantity& q) {
    double value = 0;
    const Parsed parsed = decimal(text, value);
    const std::optional<double> v =
        parsed == Parsed::Number ? std::optional<double>(value) : std::nullopt;
    if (parsed == Parsed::Overflow)
        return Failure{QStringLiteral("%1 %2 is outside its range: %3")
                           .arg(name, text.trimmed(), rangeText(q))};
    if (!v)
        return Failure{QStringLiteral("%1 \"%2\" is not a %3")
                           .arg(name, terminalText(text),
                                q.whole ? QStringLiteral("whole number")
                                        : QStringLiteral("number (such as 12, -0.5 or 1.5e3)"))};
    const bool inside = (q.aboveLo ? *v > q.lo : *v >= q.lo) && *v <= q.hi;
    if (q.whole && *v != std::floor(*v))
        return Failure{QStringLiteral("%1 %2 is not a whole number").arg(name, text.trimmed())};
    if (!inside)
        return Failure{QStringLiteral("%1 %2 is outside its range: %3")
                           .arg(name, text.trimmed(), rangeText(q))};
    return *v == 0 ? 0.0 : *v; // one zero
}

std::optional<QString> gaugeRefusal(std::optional<double> thicknessUm,
                                    std::optional<double> uThicknessUm) {
    for (const auto& [value, name, quantity] :
         {std::tuple(thicknessUm, "the gauge thickness", kThicknessUm),
          std::tuple(uThicknessUm, "the gauge's uncertainty", kUThicknessUm)})
        if (value)
            if (auto v = parseQuantity(QLatin1String(name), numberText(*value), quantity); !v)
                return v.error();
    return std::nullopt;
}

std::optional<QString> thicknessNeedsConfirming(double gaugeUm, double nominalUm,
                                                const QString& how) {
    if (!(nominalUm > 0) || std::fabs(gaugeUm - nominalUm) <= kThicknessConfirmFraction * nominalUm)
        return std::nullopt;
    return QStringLiteral("the gauge thickness %1 µm is more than %2 % from the batch's nominal "
                          "%3 µm: check the gauge and the batch; if it is right, confirm it (%4)")
        .arg(numberText(gaugeUm), QString::number(kThicknessConfirmFraction * 100),
             numberText(nominalUm), how);
}

} // namespace qvr::dose
