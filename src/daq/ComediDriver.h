#pragma once
// The five card calls on a real card, through comedilib: board n is /dev/comedi<n>.

#include "head/Driver.h"

#include <memory>

namespace qvr {

// The driver for the cards comedi knows. Never fails to construct; a missing card shows as
// board type 0 and nonzero statuses.
std::unique_ptr<DaqDriver> makeComediDriver();

// True when at least one comedi device node exists (/dev/comedi0 .. /dev/comedi<kMaxBoards-1>).
bool comediDeviceExists();

} // namespace qvr
