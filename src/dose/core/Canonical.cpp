#include "dose/core/Canonical.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qvr::dose {

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and back (H. Hinnant's
// algorithms): times are turned into text and back for every row, so by hand, not by QDate.
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d) {
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<qint64>(doe) - 719468;
}

void civilFromDays(qint64 z, qint64& y, unsigned& m, unsigned& d) {
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<qint64>(yoe) + era * 400 + (m <= 2);
}

constexpr qint64 kMsPerDay = 86400000;

} // namespace

int writeNumberText(double value, char* out) {
    if (!std::isfinite(value)) {
        std::memcpy(out, "null", 4);
        return 4;
    }
    if (value == 0)
        value = 0; // one zero: -0 and 0 render alike
    return static_cast<int>(std::to_chars(out, out + 32, value).ptr - out);
}

int writeTimeText(const QDateTime& when, char* out) {
    if (!when.isValid())
        return 0;
    const qint64 ms = when.toMSecsSinceEpoch();
    const qint64 days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
    const qint64 inDay = ms - days * kMsPerDay;
    qint64 y = 0;
    unsigned m = 0, d = 0;
    civilFromDays(days, y, m, d);
    const int hour = static_cast<int>(inDay / 3600000), minute = inDay / 60000 % 60,
              second = inDay / 1000 % 60, milli = inDay % 1000;
    if (y < 0 || y > 9999)
        return std::snprintf(out, 32, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ",
                             static_cast<long long>(y), m, d, hour, minute, second, milli);
    auto digits = [&](int at, qint64 value, int count) {
        for (int i = count - 1; i >= 0; --i, value /= 10)
            out[at + i] = static_cast<char>('0' + value % 10);
    };
    std::memcpy(out, "0000-00-00T00:00:00.000Z", 24);
    digits(0, y, 4);
    digits(5, m, 2);
    digits(8, d, 2);
    digits(11, hour, 2);
    digits(14, minute, 2);
    digits(17, second, 2);
    digits(20, milli, 3);
    return 24;
}

QString numberText(double value) {
    char buffer[32];
    return QString::fromLatin1(buffer, writeNumberText(value, buffer));
}

QString timeText(const QDateTime& when) {
    char buffer[32];
    return QString::fromLatin1(buffer, writeTimeText(when, buffer));
}

QString dateText(const QDate& date) {
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

QString quoted(const QString& text) {
    const bool plain = std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x20 || c == QLatin1Char('"') || c == QLatin1Char('\\');
    });
    if (plain)
        return QLatin1Char('"') + text + QLatin1Char('"');
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

QString numberArray(const std::vector<double>& values) {
    QStringList parts;
    for (double v : values)
        parts << numberText(v);
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

QString textArray(const QStringList& values) {
    QStringList parts;
    for (const QString& v : values)
        parts << quoted(v);
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

std::optional<double> parseNumber(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 64)
        return std::nullopt;
    char bytes[65];
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0x7F)
            return std::nullopt;
        bytes[i] = static_cast<char>(text[i].unicode());
    }
    double value = 0;
    const char* end = bytes + text.size();
    const char* begin = bytes;
    if (*begin == '+')
        ++begin;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QDateTime parseTime(QStringView text) {
    // The form timeText() writes, read without the general parser; anything else goes to it.
    if (text.size() == 24 && text[4] == QLatin1Char('-') && text[7] == QLatin1Char('-') &&
        text[10] == QLatin1Char('T') && text[13] == QLatin1Char(':') &&
        text[16] == QLatin1Char(':') && text[19] == QLatin1Char('.') &&
        text[23] == QLatin1Char('Z')) {
        auto number = [&](int from, int length) {
            int v = 0;
            for (int i = from; i < from + length; ++i) {
                const int digit = text[i].unicode() - '0';
                if (digit < 0 || digit > 9)
                    return -1;
                v = v * 10 + digit;
            }
            return v;
        };
        const int y = number(0, 4), m = number(5, 2), d = number(8, 2), h = number(11, 2),
                  min = number(14, 2), s = number(17, 2), ms = number(20, 3);
        static const int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        if (y >= 0 && m >= 1 && m <= 12 && d >= 1 &&
            d <= monthDays[m - 1] - (m == 2 && !leap ? 1 : 0) && h >= 0 && h < 24 && min >= 0 &&
            min < 60 && s >= 0 && s < 60 && ms >= 0)
            return QDateTime::fromMSecsSinceEpoch(daysFromCivil(y, unsigned(m), unsigned(d)) *
                                                          kMsPerDay +
                                                      ((h * 60 + min) * 60 + s) * qint64(1000) + ms,
                                                  Qt::UTC);
    }
    QDateTime t = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}

std::vector<double> parseNumberArray(const QString& json) {
    std::vector<double> values;
    const QJsonArray array = QJsonDocument::fromJson(json.toUtf8()).array();
    for (const auto& v : array)
        values.push_back(v.isDouble() ? v.toDouble() : std::nan(""));
    return values;
}

QJsonDocument parseStoredJson(const QString& json) {
    if (!json.contains(QChar(0xFEFF)))
        return QJsonDocument::fromJson(json.toUtf8());
    // Only inside strings can it be: there the escape is the same character.
    QString escaped = json;
    escaped.replace(QChar(0xFEFF), QStringLiteral("\\ufeff"));
    return QJsonDocument::fromJson(escaped.toUtf8());
}

Canonical::Canonical(const QString& kind) {
    out_.reserve(1024);
    out_ += QLatin1String("{\"kind\":");
    out_ += quoted(kind);
}

// Keys are plain names written in the code: nothing in them needs escaping.
void Canonical::key(const char* name) {
    out_ += QLatin1String(",\"");
    out_ += QLatin1String(name);
    out_ += QLatin1String("\":");
}

Canonical& Canonical::text(const char* name, const QString& value) {
    key(name);
    out_ += quoted(value);
    return *this;
}

Canonical& Canonical::number(const char* name, double value) {
    key(name);
    out_ += numberText(value);
    return *this;
}

Canonical& Canonical::number(const char* name, std::optional<double> value) {
    key(name);
    out_ += value ? numberText(*value) : QStringLiteral("null");
    return *this;
}

Canonical& Canonical::integer(const char* name, qint64 value) {
    key(name);
    out_ += QString::number(value);
    return *this;
}

Canonical& Canonical::flag(const char* name, bool value) {
    key(name);
    out_ += value ? QLatin1String("true") : QLatin1String("false");
    return *this;
}

Canonical& Canonical::time(const char* name, const QDateTime& value) {
    key(name);
    out_ += value.isValid() ? quoted(timeText(value)) : QStringLiteral("null");
    return *this;
}

Canonical& Canonical::date(const char* name, const QDate& value) {
    key(name);
    out_ += value.isValid() ? quoted(dateText(value)) : QStringLiteral("null");
    return *this;
}

Canonical& Canonical::raw(const char* name, const QString& json) {
    key(name);
    out_ += json;
    return *this;
}

QString Canonical::finish() const {
    return out_ + QLatin1Char('}');
}

} // namespace qvr::dose
