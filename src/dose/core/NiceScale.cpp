#include "dose/core/NiceScale.h"

#include <algorithm>
#include <cmath>

namespace qvr::dose {

int NiceScale::ticks() const {
    return static_cast<int>(std::lround((hi - lo) / step)) + 1;
}

NiceScale niceScale(double lo, double hi, int ticks) {
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return {};
    if (hi < lo)
        std::swap(lo, hi);
    if (hi - lo < 1e-12 * std::max(1.0, std::abs(hi))) {
        const double pad = lo == 0 ? 1 : std::abs(lo) * 0.1;
        lo -= pad;
        hi += pad;
    }
    const double rough = (hi - lo) / std::max(1, ticks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= rough * (1 - 1e-9)) {
            step = m * power;
            break;
        }
    // Ticks are multiples of step, so nothing prints as 13.8.
    NiceScale s;
    s.step = step;
    s.lo = std::floor(lo / step + 1e-9) * step;
    s.hi = std::ceil(hi / step - 1e-9) * step;
    return s;
}

} // namespace qvr::dose
