#pragma once
// The three conversions between numbers and texts used by the head record and the settings.

#include <QString>
#include <optional>

namespace qvr {

// Strict: plain decimal digits with an optional decimal separator (the user's, or '.'),
// blanks before and after allowed; nothing else (no sign, exponent, group separator, "inf",
// "nan"). Empty or anything else gives nullopt.
std::optional<double> strictNumber(const QString& text);

// Lenient: blanks skipped, the longest leading decimal number with '.' as the point; 0 when
// there is none. Never fails.
double leadingNumber(const QString& text);

// At most 15 significant digits, the user's decimal separator, no trailing zeros or
// separator (1.9 -> "1.9", 1.0 -> "1", 0 -> "0").
QString numberText(double value);

} // namespace qvr
