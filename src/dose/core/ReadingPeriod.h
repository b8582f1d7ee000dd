#pragma once
// One continuous reading period: every reading of one capture comes from it, so a dose never
// mixes readings across a reader restart, a new zero, a wavelength change or a film swap. The
// period holds while the same reader process serves the items (its bus owner), with the same
// count of zeros and the same wavelength, the film switch closed, State reading and Simulated
// unchanged.

#include "dose/core/ReadingRules.h"

namespace qvr::dose {

class ReadingPeriod {
public:
    // Starts a period at items that pass the reading rules.
    void begin(const ReaderItems& items) {
        start_ = items;
        begun_ = true;
    }
    void clear() { begun_ = false; }
    bool begun() const { return begun_; }

    // What ended the period by the time the reader served items ("the reader took a new zero"),
    // or nothing while it holds.
    std::optional<QString> broken(const ReaderItems& items) const;

private:
    ReaderItems start_;
    bool begun_ = false;
};

} // namespace qvr::dose
