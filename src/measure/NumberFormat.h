#pragma once
// The number patterns of the display: "0.0000", "0.000", "0.##0", and the absorbance text.

#include <QString>

namespace qvr {

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

} // namespace qvr
