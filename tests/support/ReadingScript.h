#pragma once
// Scripts the conversions of whole readings on a FakeDriver: a reading of 5000 counts whose
// mean converter voltage is the given one (to 1 / 2047500 V).

#include "FakeDriver.h"
#include "measure/Acquisition.h"

#include <cmath>

namespace qvr::test {

inline void scriptReading(FakeDriver& driver, double volts) {
    const double perVolt = kSamplesPerReading * kCountsPerVolt;
    const auto sum = static_cast<long>(std::lround((volts + 5.0) * perVolt));
    const long base = sum / kSamplesPerReading;
    const long extra = sum % kSamplesPerReading;
    for (int i = 0; i < kSamplesPerReading; ++i)
        driver.counts.push_back(static_cast<std::int16_t>(base + (i < extra ? 1 : 0)));
}

} // namespace qvr::test
