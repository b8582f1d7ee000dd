#pragma once
// Whether the reading has settled: the last `count` readings lie within `band` of each other.
// The defaults fit the reader's display of three decimals: five readings within two steps.

#include <QDateTime>
#include <deque>
#include <vector>

namespace qvr::dose {

struct StableRule {
    int count = 5;
    double band = 0.002;
};

class StableReadings {
public:
    explicit StableReadings(StableRule rule = {}) : rule_(rule) {}

    void setRule(StableRule rule);
    StableRule rule() const { return rule_; }
    void add(const QDateTime& at, double absorbance);
    void clear() { kept_.clear(); }
    bool stable() const;
    bool empty() const { return kept_.empty(); }
    // The newest readings, at most `count`, oldest first.
    std::vector<std::pair<QDateTime, double>> latest() const;

private:
    StableRule rule_;
    std::deque<std::pair<QDateTime, double>> kept_;
};

} // namespace qvr::dose
