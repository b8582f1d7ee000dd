#include "ManualClock.h"

namespace qvr::test {

std::unique_ptr<Timer> ManualClock::createTimer() {
    auto t = std::make_unique<ManualTimer>(*this);
    timers_.append(t.get());
    return t;
}

ManualTimer::~ManualTimer() {
    clock_.timers_.removeAll(this);
}

void ManualTimer::setEnabled(bool on) {
    if (on && !enabled_)
        due_ = clock_.now_ + interval_;
    enabled_ = on;
}

ManualTimer* ManualClock::earliest() const {
    ManualTimer* best = nullptr;
    for (ManualTimer* t : timers_)
        if (t->enabled_ && (!best || t->due_ < best->due_))
            best = t;
    return best;
}

void ManualClock::advance(qint64 ms) {
    const qint64 end = now_ + ms;
    for (ManualTimer* t = earliest(); t && t->due_ <= end; t = earliest()) {
        now_ = t->due_;
        t->due_ = now_ + std::max(1, t->interval_);
        t->fire();
    }
    now_ = end;
}

} // namespace qvr::test
