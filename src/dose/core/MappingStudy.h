#pragma once
// A dose-mapping study: one product in one loading pattern on one irradiator path, with the
// positions dosimeters are placed at and the doses the product must get. A change of loading
// pattern, source or path is a new study.

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace qvr::dose {

inline constexpr int kMinimumMappingRuns = 3;

struct MappingStudy {
    QString id;
    QString product;
    QString loadingPattern;
    QString irradiator;
    QString sourcePath;      // source and path, or the process in words
    QString processText;     // free text of the process parameters
    double processValue = 0; // the timer setting or the conveyor speed
    QString processUnit;     // "min" (timer) or "m/min" (conveyor)
    double minRequiredKGy = 0;
    double maxAcceptableKGy = 0;
    int requiredRuns = kMinimumMappingRuns;
    bool training = false; // reads of the simulated head are accepted only here
    QString operatorName;
    QDateTime createdAt;
};

struct MappingPosition {
    QString id;
    QString layer; // a grid label's layer, or empty with coordinates only
    std::optional<double> xMm, yMm, zMm;
    bool monitoring = false;
};

// What one run says of one position: a dose with its uncertainty, a bound beyond the
// calibrated range, or nothing usable.
enum class PositionState { Valid, BelowRange, AboveRange, NoDose };

struct PositionDose {
    QString position;
    QString dosimeter;
    PositionState state = PositionState::NoDose;
    double doseKGy = 0;  // a valid dose, or the bound of one beyond the range
    double expanded = 0; // U of a valid dose, kGy
    double coverage = 2; // k of U
    // Relative standard uncertainties (fractions): the part common to every dose read with one
    // calibration, and the part that varies from dosimeter to dosimeter.
    double systematicRel = 0;
    double randomRel = 0;
};

struct MappingRun {
    QString id;
    std::vector<PositionDose> doses; // the latest read of each position in the run
};

} // namespace qvr::dose
