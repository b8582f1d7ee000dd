// Any bytes as a simulator scenario: refused with a message naming the fault, or a scenario
// within the documented ranges whose events apply as they were checked.

#include "daq/sim/Scenario.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace qvr::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto json =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<Scenario> parsed = parseScenario(json, &error);
    if (!parsed) {
        if (error.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    Scenario s = *parsed;
    for (const Event& event : parsed->events) {
        applyChanges(s, event.changes);
        if (!(s.gain > 0 && s.gain <= 10) || !(std::fabs(s.lamp) <= 5) ||
            !(s.noise >= 0 && s.noise <= 1000) || s.record().size() != kEepromWords)
            std::abort();
    }
    return 0;
}
