#include "head/NumberText.h"

#include "measure/NumberFormat.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <string>

namespace qvr {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// ASCII only: QChar::isDigit() also takes superscripts and other scripts' digits.
bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Digits with one optional point, already checked; out-of-range values give nullopt.
std::optional<double> fromDecimal(const std::string& intDigits, const std::string& fracDigits) {
    std::string s = intDigits.empty() ? std::string("0") : intDigits;
    if (!fracDigits.empty())
        s += '.' + fracDigits;
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

qsizetype skipBlanks(const QString& text, qsizetype i) {
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

} // namespace

std::optional<double> strictNumber(const QString& text) {
    const QString userPoint = QLocale().decimalPoint();
    qsizetype i = skipBlanks(text, 0);
    qsizetype end = text.size();
    while (end > i && isBlank(text[end - 1]))
        --end;

    std::string intDigits, fracDigits;
    bool seenPoint = false;
    while (i < end) {
        const QChar c = text[i];
        if (isAsciiDigit(c)) {
            (seenPoint ? fracDigits : intDigits) += static_cast<char>(c.unicode());
            ++i;
            continue;
        }
        if (seenPoint)
            return std::nullopt;
        // A gain stored under another locale still reads back: '.' is always a point.
        if (c == QLatin1Char('.')) {
            i += 1;
        } else if (!userPoint.isEmpty() &&
                   QStringView(text).mid(i, end - i).startsWith(userPoint)) {
            i += userPoint.size();
        } else {
            return std::nullopt;
        }
        seenPoint = true;
    }
    if (intDigits.empty() && fracDigits.empty())
        return std::nullopt;
    return fromDecimal(intDigits, fracDigits);
}

double leadingNumber(const QString& text) {
    qsizetype i = skipBlanks(text, 0);
    std::string intDigits, fracDigits;
    while (i < text.size() && isAsciiDigit(text[i]))
        intDigits += static_cast<char>(text[i++].unicode());
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < text.size() && isAsciiDigit(text[i]))
            fracDigits += static_cast<char>(text[i++].unicode());
    }
    if (intDigits.empty() && fracDigits.empty())
        return 0;
    return fromDecimal(intDigits, fracDigits).value_or(0);
}

QString numberText(double value) {
    // Enough decimals to reach the 15th significant digit of the smallest double; the fixed
    // formatter zero-fills past the 15 digits, so nothing here rounds twice.
    constexpr int kAllDecimals = 340;
    QString t = formatFixed(value, kAllDecimals);
    if (t == kNotANumberText)
        return t;
    const qsizetype point = t.indexOf(QLatin1Char('.'));
    qsizetype end = t.size();
    while (end > point + 1 && t[end - 1] == QLatin1Char('0'))
        --end;
    if (end == point + 1)
        return t.left(point);
    return t.left(point) + QLocale().decimalPoint() + t.mid(point + 1, end - point - 1);
}

} // namespace qvr
