#pragma once
// The canonical text of a stored row: a JSON object whose keys come in a fixed order, numbers
// in their shortest round-trip form and times in UTC with milliseconds, so the same content
// gives the same bytes (and the same hash) on every database and every machine.

#include <QDate>
#include <QDateTime>
#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace qvr::dose {

QString numberText(double value);        // "0.1", "1e-07", "null" when not finite
QString timeText(const QDateTime& when); // "2026-12-07T08:41:44.123Z", "" when invalid
// The same into out (at least 32 chars), for output built by hand; the count written.
int writeNumberText(double value, char* out);
int writeTimeText(const QDateTime& when, char* out);
QString dateText(const QDate& date); // "2026-12-31", "" when invalid
QString quoted(const QString& text); // a JSON string
QString numberArray(const std::vector<double>& values);
QString textArray(const QStringList& values);

std::optional<double> parseNumber(QStringView text); // strict: the whole text, finite
QDateTime parseTime(QStringView text);               // timeText() back; invalid when not
std::vector<double> parseNumberArray(const QString& json);
// A JSON text as stored in a column, parsed keeping a U+FEFF that begins a string (Qt's reader
// drops it).
QJsonDocument parseStoredJson(const QString& json);

class Canonical {
public:
    explicit Canonical(const QString& kind);
    Canonical& text(const char* key, const QString& value);
    Canonical& number(const char* key, double value);
    Canonical& number(const char* key, std::optional<double> value);
    Canonical& integer(const char* key, qint64 value);
    Canonical& flag(const char* key, bool value);
    Canonical& time(const char* key, const QDateTime& value);
    Canonical& date(const char* key, const QDate& value);
    Canonical& raw(const char* key, const QString& json); // an array or object already rendered
    QString finish() const;

private:
    void key(const char* name);
    QString out_;
};

} // namespace qvr::dose
