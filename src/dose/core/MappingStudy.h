#pragma once
// A dose-mapping study: one product in one loading pattern on one irradiator path, with the
// positions dosimeters are placed at and the doses the product must get. A change of loading
// pattern, source or path is a new study.

#include "dose/core/Record.h"

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

    QString canonical() const;
};

struct MappingPosition {
    qint64 rowId = 0; // the store's
    QString studyId;
    QString id;
    QString layer; // a grid label's layer, or empty with coordinates only
    std::optional<double> xMm, yMm, zMm;
    bool monitoring = false;
    QString operatorName;
    QDateTime createdAt;

    QString canonical() const;
};

// What one run says of one position: a dose with its uncertainty, a bound beyond the
// calibrated range, or nothing usable.
enum class PositionState { Valid, BelowRange, AboveRange, NoDose };

struct PositionDose {
    qint64 id = 0; // the store's; the latest of a run's position counts
    QString runId;
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
    bool imported = false; // read by another system
    QString source;        // which, for an imported dose
    QString operatorName;
    QDateTime createdAt;
    // A dose read here through the reader (calibrationId 0: imported, or stored before reads
    // were kept): what it was read on and with, as a record keeps it.
    qint64 calibrationId = 0;
    int calibrationVersion = 0;
    qint64 fitId = 0;
    int batchVersion = 0;
    std::vector<Reading> readings;
    QStringList flags;

    bool read() const { return calibrationId != 0; }
    QString canonical() const;
};

QString positionStateName(PositionState state); // "valid", "below_range", ...
std::optional<PositionState> positionStateFromName(const QString& name);

struct MappingRun {
    QString id;
    QString studyId;
    QString operatorName;
    QDateTime createdAt;
    std::vector<PositionDose> doses; // the latest of each position, not stored with the run

    QString canonical() const;
};

// The latest dose of each position of a run, from every dose stored for it (in id order).
std::vector<PositionDose> latestDoses(const std::vector<PositionDose>& all);

// A study's approval for routine use, or its return with a reason.
struct MappingApproval {
    qint64 id = 0;
    QString studyId;
    bool approved = false;
    QString reason;    // required when returned
    QString chainHead; // the chain's newest hash the approver saw
    QString approver;
    QDateTime createdAt;
    // None on approvals made before approvals were signed.
    std::optional<Signature> signature = std::nullopt;

    QString canonical() const;
};

} // namespace qvr::dose
