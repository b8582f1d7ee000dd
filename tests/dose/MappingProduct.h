#pragma once
// A synthetic product with a known dose field: 3 layers of 3x3 positions, 3 runs that differ in
// overall dose and at the monitoring position, one invalid read.

#include "dose/core/MappingStudy.h"

#include <cmath>
#include <vector>

namespace qvr::test {

using namespace qvr::dose;

inline constexpr double kRandom = 0.015;     // relative standard, dosimeter to dosimeter
inline constexpr double kSystematic = 0.012; // the calibration's reference doses
inline const double kRunScale[3] = {1.00, 1.04, 0.97};
inline const double kMonitorShift[3] = {1.00, 0.99,
                                        1.015}; // the monitoring dosimeter's own scatter

inline QString positionId(int layer, int row, int col) {
    return QStringLiteral("L%1-%2%3").arg(layer + 1).arg(QChar('A' + row)).arg(col + 1);
}

// The field of run 1: a low centre on the top layer (B1 close to it), a high corner on the
// bottom layer (A3 close to it); the monitoring position L1-A1.
inline double baseDose(int layer, int row, int col) {
    if (layer == 0 && row == 1 && col == 1)
        return 25.0;
    if (layer == 0 && row == 1 && col == 0)
        return 25.3;
    if (layer == 2 && row == 0 && col == 0)
        return 40.0;
    if (layer == 2 && row == 0 && col == 2)
        return 39.6;
    return 27.5 + 1.1 * layer + 0.8 * std::abs(row - 1) + 0.6 * std::abs(col - 1);
}

inline const QString kMin = QStringLiteral("L1-B2");
inline const QString kMax = QStringLiteral("L3-A1");
inline const QString kMonitor = QStringLiteral("L1-A1");
inline const QString kInvalid = QStringLiteral("L2-C1"); // no dose in run 2

inline double fieldDose(int run, int layer, int row, int col) {
    const double shift = positionId(layer, row, col) == kMonitor ? kMonitorShift[run] : 1.0;
    return baseDose(layer, row, col) * kRunScale[run] * shift;
}

inline double fieldDose(int run, const QString& id) {
    for (int l = 0; l < 3; ++l)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                if (positionId(l, r, c) == id)
                    return fieldDose(run, l, r, c);
    return NAN;
}

struct Product {
    MappingStudy study;
    std::vector<MappingPosition> positions;
    std::vector<MappingRun> runs;
};

inline Product syntheticProduct() {
    Product p;
    p.study.id = QStringLiteral("S1");
    p.study.minRequiredKGy = 25;
    p.study.maxAcceptableKGy = 60;
    for (int l = 0; l < 3; ++l)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                MappingPosition pos;
                pos.id = positionId(l, r, c);
                pos.layer = QStringLiteral("L%1").arg(l + 1);
                pos.monitoring = pos.id == kMonitor;
                p.positions.push_back(pos);
            }
    for (int run = 0; run < 3; ++run) {
        MappingRun m;
        m.id = QStringLiteral("R%1").arg(run + 1);
        for (const MappingPosition& pos : p.positions) {
            PositionDose d;
            d.position = pos.id;
            d.dosimeter = m.id + QLatin1Char('/') + pos.id;
            d.doseKGy = fieldDose(run, pos.id);
            d.state = PositionState::Valid;
            d.systematicRel = kSystematic;
            d.randomRel = kRandom;
            d.expanded = 2 * d.doseKGy * std::hypot(kRandom, kSystematic);
            if (run == 1 && pos.id == kInvalid) {
                d.state = PositionState::NoDose;
                d.doseKGy = d.expanded = 0;
            }
            m.doses.push_back(d);
        }
        p.runs.push_back(m);
    }
    return p;
}

} // namespace qvr::test
