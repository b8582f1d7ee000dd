#pragma once
// An axis a person reads at a glance: ticks at 1, 2 or 5 times a power of ten, the range widened
// to whole ticks around the data.

namespace qvr::dose {

struct NiceScale {
    double lo = 0, hi = 1, step = 0.2;
    int ticks() const; // including both ends
};

// About `ticks` ticks (at least 2) over [lo, hi]; an empty or reversed range is widened around
// its value.
NiceScale niceScale(double lo, double hi, int ticks = 6);

} // namespace qvr::dose
