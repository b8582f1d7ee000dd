#pragma once

#include "core/Clock.h"

namespace qvr {

// Wall time and QTimer, driven by the Qt event loop.
class QtClock : public Clock {
public:
    QtClock();
    qint64 nowMs() const override;
    qint64 epochMs() const override;
    std::unique_ptr<Timer> createTimer() override;

private:
    qint64 startNs_;
};

} // namespace qvr
