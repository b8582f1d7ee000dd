#pragma once
// Numbers typed on the command line, read from a CSV cell or given as key=value: one parser for
// all, and the physical range each quantity must lie in. The form is a C-locale decimal: an
// optional single sign, digits with an optional point, an optional exponent ("50", "-0.12",
// "1.5e3"); blanks only around it; nothing that is not finite.

#include "dose/core/Outcome.h"

#include <QString>
#include <optional>

namespace qvr::dose {

struct Quantity {
    double lo = 0, hi = 0;
    bool aboveLo = false; // lo itself is outside
    const char* unit = "";
    bool whole = false; // a whole number
};

// The ranges the dose workstation takes: outside them a value is a typing or unit mistake.
inline constexpr Quantity kDoseKGy{0, 1000, true, "kGy"};
inline constexpr Quantity kAbsorbance{0, 4, false, ""};
inline constexpr Quantity kThicknessUm{5, 3000, false, "µm"};
inline constexpr Quantity kUAbsorbance{0, 1, false, ""};
inline constexpr Quantity kUThicknessUm{0, 100, false, "µm"};
inline constexpr Quantity kWavelengthNm{400, 780, false, "nm", true};
inline constexpr Quantity kUDosePercent{0, 50, true, "%"};
inline constexpr Quantity kReaderSd{0, 1, false, ""};
inline constexpr Quantity kWindowHours{0, 8760, false, "h"};
inline constexpr Quantity kReadingCount{1, 100, false, "", true};
inline constexpr Quantity kId{1, 9007199254740992.0, false, "", true}; // up to 2^53

// A gauge reading further than this from the batch's nominal thickness needs confirming.
inline constexpr double kThicknessConfirmFraction = 0.2;

std::optional<double> parseDecimal(QStringView text);

// "from 5 to 3000 µm", "above 0 and at most 50 %"
QString rangeText(const Quantity& quantity);

// The value of text as quantity, or why not, naming it as name ("--thickness-um",
// "line 4: thickness_um") with the text and the range.
Outcome<double> parseQuantity(const QString& name, const QString& text, const Quantity& quantity);

// Why a gauge's thickness or its uncertainty is outside its range, or nothing.
std::optional<QString> gaugeRefusal(std::optional<double> thicknessUm,
                                    std::optional<double> uThicknessUm);
// Why a gauge thickness needs confirming against the batch's nominal, or nothing; how says how
// to confirm it.
std::optional<QString>
thicknessNeedsConfirming(double gaugeUm, double nominalUm,
                         const QString& how = QStringLiteral("--confirm-thickness"));

} // namespace qvr::dose
