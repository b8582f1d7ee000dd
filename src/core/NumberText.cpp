#include "core/NumberText.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

QString storedNumberText(double value) {
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
    return t.left(end == point + 1 ? point : end);
}

QString numberText(double value) {
    QString t = storedNumberText(value);
    const qsizetype point = t.indexOf(QLatin1Char('.'));
    if (point >= 0)
        t.replace(point, 1, QLocale().decimalPoint());
    return t;
}

std::optional<double> storedNumber(const QString& text) {
    if (const std::optional<double> n = strictNumber(text))
        return n;
    // Earlier versions stored the user's separator; a comma is the one in use beside '.'.
    if (text.count(QLatin1Char(',')) != 1 || text.contains(QLatin1Char('.')))
        return std::nullopt;
    QString point = text;
    point.replace(QLatin1Char(','), QLatin1Char('.'));
    return strictNumber(point);
}

QString formatFixed(double value, int decimals) {
    if (!std::isfinite(value))
        return kNotANumberText;

    // 15 significant digits as d.dddddddddddddde+XX: the decimal value the user means.
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    digits.push_back(buf[0]);
    digits.append(buf + 2, 14);
    const int exponent = std::atoi(buf + 17);

    // digits[i] has the weight 10^(exponent - i). Keep the places down to 10^-decimals.
    const int keep = exponent + 1 + decimals; // number of digits kept
    std::string kept;
    if (keep > 0) {
        kept = digits.substr(0, std::min<size_t>(static_cast<size_t>(keep), digits.size()));
        kept.append(static_cast<size_t>(std::max(0, keep - static_cast<int>(digits.size()))), '0');
    }
    const bool roundUp = keep >= 0 && keep < static_cast<int>(digits.size()) &&
                         digits[static_cast<size_t>(keep)] >= '5';
    if (roundUp) {
        int i = static_cast<int>(kept.size()) - 1;
        for (; i >= 0 && kept[static_cast<size_t>(i)] == '9'; --i)
            kept[static_cast<size_t>(i)] = '0';
        if (i >= 0)
            ++kept[static_cast<size_t>(i)];
        else
            kept.insert(kept.begin(), '1');
    }
    // kept now holds the value times 10^decimals as an integer; pad to one integral digit.
    if (kept.size() < static_cast<size_t>(decimals + 1))
        kept.insert(0, static_cast<size_t>(decimals + 1) - kept.size(), '0');
    const bool isZero = kept.find_first_not_of('0') == std::string::npos;

    std::string out;
    if (value < 0 && !isZero)
        out.push_back('-');
    out.append(kept, 0, kept.size() - static_cast<size_t>(decimals));
    if (decimals > 0) {
        out.push_back('.');
        out.append(kept, kept.size() - static_cast<size_t>(decimals));
    }
    return QString::fromLatin1(out.c_str());
}

QString formatAbsorbance(double absorbance) {
    if (!std::isfinite(absorbance))
        return kNotANumberText;
    if (absorbance > 3.0)
        return QStringLiteral(">3.0");
    QString t = formatFixed(absorbance, 3);
    if (t.size() == 5)
        t.prepend(QLatin1Char(' '));
    return t;
}

QString formatFilterResult(double value) {
    return formatFixed(value, 3);
}

std::optional<float> positionFromText(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = QLocale::system().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > 1e9)
        return std::nullopt;
    return static_cast<float>(value);
}

QString positionText(float twips) {
    if (!std::isfinite(twips))
        return QStringLiteral("0");
    const double value = twips;
    const double magnitude = std::fabs(value);
    const int intDigits =
        magnitude == 0 ? 1 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    QString s = QString::number(value, 'f', std::max(0, 7 - intDigits));
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

} // namespace qvr
