#pragma once
// A clock that moves only when the test says so; its timers fire in time order.

#include "core/Clock.h"

#include <QList>

namespace qvr::test {

class ManualTimer;

class ManualClock : public Clock {
public:
    qint64 nowMs() const override { return now_; }
    qint64 epochMs() const override { return epochAtStart + now_; }
    std::unique_ptr<Timer> createTimer() override;

    // Moves time forward by ms, firing every tick that falls due, each at its own time.
    void advance(qint64 ms);

    // The calendar time when the clock was made (2026-01-01T00:00:00Z unless a test moves it).
    qint64 epochAtStart = 1767225600000;

private:
    friend class ManualTimer;
    ManualTimer* earliest() const;
    qint64 now_ = 0;
    QList<ManualTimer*> timers_;
};

class ManualTimer : public Timer {
public:
    explicit ManualTimer(ManualClock& clock) : clock_(clock) {}
    ~ManualTimer() override;
    void setInterval(int ms) override { interval_ = ms; }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override;
    bool isEnabled() const override { return enabled_; }

private:
    friend class ManualClock;
    ManualClock& clock_;
    int interval_ = 0;
    bool enabled_ = false;
    qint64 due_ = 0;
};

} // namespace qvr::test
