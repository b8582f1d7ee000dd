#pragma once
// Where the workstation gets the reader's items from: the running qvr100pci over the session
// bus in the program, a script in tests.

#include "dose/core/Outcome.h"
#include "dose/core/ReadingRules.h"

namespace qvr::dose {

class ReaderSource {
public:
    virtual ~ReaderSource() = default;

    // Every item as served now, with kOwnerItem. Fails when the reader is not running or not
    // reachable.
    virtual Outcome<ReaderItems> items() = 0;

    // Waits (at most timeoutMs) until the reader writes A again, and gives every item as it was
    // right after that write. Called again, it gives the next write after that one, so a run of
    // readings sees each write once, in order, however late it asks.
    virtual Outcome<ReaderItems> nextReading(int timeoutMs) = 0;

    // Asks the reader to measure at the head's first (primary) or second wavelength. Done once
    // the reader took the command, before it reads again; fails with the reader's refusal.
    virtual Outcome<Done> selectWavelength(bool secondary) = 0;
};

} // namespace qvr::dose
