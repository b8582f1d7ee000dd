#include "measure/NumberFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qvr {

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
        kept.append(static_cast<size_t>(std::max(0, keep - static_cast<int>(digits.size()))),
                    '0');
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

QString formatFilterResult(double value) { return formatFixed(value, 3); }

} // namespace qvr
