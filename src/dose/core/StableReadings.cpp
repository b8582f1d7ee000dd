#include "dose/core/StableReadings.h"

#include <algorithm>

namespace qvr::dose {

void StableReadings::setRule(StableRule rule) {
    rule_.count = std::max(1, rule.count);
    rule_.band = std::max(0.0, rule.band);
    while (kept_.size() > static_cast<size_t>(rule_.count))
        kept_.pop_front();
}

void StableReadings::add(const QDateTime& at, double absorbance) {
    kept_.emplace_back(at, absorbance);
    while (kept_.size() > static_cast<size_t>(rule_.count))
        kept_.pop_front();
}

bool StableReadings::stable() const {
    if (kept_.size() < static_cast<size_t>(rule_.count))
        return false;
    const auto [lo, hi] =
        std::minmax_element(kept_.begin(), kept_.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; });
    // A hair of slack so a band of exactly two display steps holds readings two steps apart.
    return hi->second - lo->second <= rule_.band + 1e-9;
}

std::vector<std::pair<QDateTime, double>> StableReadings::latest() const {
    return {kept_.begin(), kept_.end()};
}

} // namespace qvr::dose
