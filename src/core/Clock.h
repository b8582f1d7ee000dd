#pragma once
// Time reaches the core through these: a clock that makes periodic timers, real or manual.

#include <QtGlobal>
#include <functional>
#include <memory>

namespace qvr {

// A periodic timer with the window system's semantics: enabling an enabled timer changes
// nothing; disabling and enabling again starts a whole new interval.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;
    void onTick(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
    void fire() {
        if (handler_)
            handler_();
    }

private:
    std::function<void()> handler_;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the clock was made.
    virtual qint64 nowMs() const = 0;
    // The calendar time, milliseconds since 1970-01-01 UTC: for what outlives the run.
    virtual qint64 epochMs() const = 0;
    virtual std::unique_ptr<Timer> createTimer() = 0;
};

} // namespace qvr
