#pragma once
// A calibration's points by dose level, without those a fit leaves out, and how points are
// named in lists.

#include "dose/core/Calibration.h"
#include "dose/core/Outcome.h"

#include <QStringList>
#include <map>
#include <vector>

namespace qvr::dose {

struct Level {
    double dose = 0;
    std::vector<double> responses;
    std::vector<size_t> points; // indices into the calibration's points
    double mean() const;
    double cvPercent() const; // 0 with one response
};

// The points a fit uses: every one not excluded, by dose level.
struct Included {
    std::vector<size_t> points;
    std::map<double, Level> levels;
};

// Fails when exclude names no point, or a dosimeter id of several (exclude those by number).
Outcome<Included> included(const Calibration& calibration, const QStringList& exclude);

// The mean response of each dose level of calibration, ascending, without the excluded points.
std::vector<double> levelResponses(const Calibration& calibration, const QStringList& excluded);

// How point i (from 0) of calibration is named in lists: its dosimeter id, else "#" and its
// number from 1.
QString pointName(const Calibration& calibration, size_t i);

} // namespace qvr::dose
