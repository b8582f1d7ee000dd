#pragma once
// Every conversion between numbers and texts: the head record's and the settings' numbers,
// the display's number patterns and the stored window position.

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

// The same digits with '.' as the point whatever the locale: the form a number is stored in,
// so that it reads back under every locale (1.9 -> "1.9", 1.05 -> "1.05").
QString storedNumberText(double value);

// A stored number: what strictNumber() takes, or the same with one ',' as the point (the form
// earlier versions stored under a locale that writes a comma, "1,05").
std::optional<double> storedNumber(const QString& text);

// Fixed-point text with the given decimals, rounded half away from zero on the decimal value
// (the value's 15 significant digits, so 1.0005 gives 1.001 although its binary value lies
// just below). At least one digit before the point, '.' as the point, a minus sign only when
// the rounded value is not zero. A value that is not finite gives "Error".
QString formatFixed(double value, int decimals);

// The text of A: ">3.0" above 3.0 (tested before rounding), otherwise "0.000" with a
// leading blank when that text has five characters.
QString formatAbsorbance(double absorbance);

// The pattern "0.##0": rounded to three decimals, all three shown.
QString formatFilterResult(double value);

// The text shown wherever a value is not a finite number.
inline const QString kNotANumberText = QStringLiteral("Error");

// A window position as stored: a number of twips, blanks around allowed, an optional sign,
// the user's decimal separator or '.'; nullopt when it does not convert to a finite value.
std::optional<float> positionFromText(const QString& text);
// Up to 7 significant digits, no exponent, no trailing zeros ("1500", "-500", "1234.5").
QString positionText(float twips);

} // namespace qvr
