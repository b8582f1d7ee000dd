#include "core/QtClock.h"

#include <QDateTime>
#include <QTimer>
#include <chrono>

namespace qvr {

namespace {

qint64 monotonicNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

class QtTimer : public Timer {
public:
    QtTimer() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
    }
    void setInterval(int ms) override { timer_.setInterval(ms); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool on) override {
        if (on && !timer_.isActive())
            timer_.start();
        else if (!on)
            timer_.stop();
    }
    bool isEnabled() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace

QtClock::QtClock() : startNs_(monotonicNs()) {}

qint64 QtClock::nowMs() const {
    return (monotonicNs() - startNs_) / 1000000;
}

qint64 QtClock::epochMs() const {
    return QDateTime::currentMSecsSinceEpoch();
}

std::unique_ptr<Timer> QtClock::createTimer() {
    return std::make_unique<QtTimer>();
}

} // namespace qvr
