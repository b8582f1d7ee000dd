#pragma once
// Choosing the driver the program runs on, from the environment:
//   QVR100_DAQ           "sim" or "comedi"; unset or empty: comedi when a comedi device node
//                        exists, else the simulator; anything else is refused
//   QVR100_SIM_SCENARIO  a JSON scenario for the simulator (default: the built-in healthy head)
//   QVR100_SIM_TRACE     append one line per driver call to this file

#include "daq/Driver.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace qvr {

class Clock;
class TracingDriver;

namespace sim {
class SimCard;
}

struct Backend {
    std::unique_ptr<DaqDriver> driver;
    bool simulated = false;         // readings come from the simulator, never to pass for real
    sim::SimCard* sim = nullptr;    // the simulated card inside driver, when simulated
    QString name;                   // "sim" or "comedi"
    TracingDriver* trace = nullptr; // the trace decorator, when tracing
    // Called with each board the program settles on: takes the card for this program alone
    // (comedi: a lock on its device node). Empty when taken; otherwise why not. The simulated
    // head has no card to share: the per-user lock of the link keeps its one instance.
    std::function<QString(std::int16_t board)> claimBoard;

    // Writes out the trace's buffered lines; call it on every way out of the program.
    void flush();
};

// Reads the environment and builds the driver. On any fault (unknown QVR100_DAQ, a scenario
// that cannot be read or is refused, a trace file that cannot be opened) returns nothing and
// says why in *error: the program must not start then.
std::optional<Backend> openBackend(const Clock& clock, QString* error);

} // namespace qvr
