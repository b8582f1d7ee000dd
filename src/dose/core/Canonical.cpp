#include "dose/core/Canonical.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace qvr::dose {

QString numberText(double value) {
    if (!std::isfinite(value))
        return QStringLiteral("null");
    if (value == 0)
        value = 0; // one zero: -0 and 0 render alike
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString timeText(const QDateTime& when) {
    if (!when.isValid())
        return QString();
    // By hand: this runs for every time of every row read or written.
    const QDateTime utc = when.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    char buffer[32];
    const int n =
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", d.year(),
                      d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
    return QString::fromLatin1(buffer, n);
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

std::optional<double> parseNumber(const QString& text) {
    const QByteArray bytes = text.trimmed().toLatin1();
    if (bytes.isEmpty())
        return std::nullopt;
    double value = 0;
    const char* end = bytes.constData() + bytes.size();
    const char* begin = bytes.constData();
    if (*begin == '+')
        ++begin;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QDateTime parseTime(const QString& text) {
    // The form timeText() writes, read without the general parser; anything else goes to it.
    if (text.size() == 24 && text[4] == QLatin1Char('-') && text[10] == QLatin1Char('T') &&
        text[19] == QLatin1Char('.') && text[23] == QLatin1Char('Z')) {
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
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
        if (date.isValid() && time.isValid())
            return QDateTime(date, time, Qt::UTC);
    }
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
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
