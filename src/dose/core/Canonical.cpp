#include "dose/core/Canonical.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <charconv>
#include <cmath>

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
    return when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z');
}

QString dateText(const QDate& date) {
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

QString quoted(const QString& text) {
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

Canonical::Canonical(const QString& kind) : out_(QStringLiteral("{\"kind\":") + quoted(kind)) {}

void Canonical::key(const char* name) {
    out_ += QLatin1Char(',') + quoted(QString::fromLatin1(name)) + QLatin1Char(':');
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
