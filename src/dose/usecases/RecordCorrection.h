#pragma once
// A record's thickness corrected by a gauge reading: a new version with the reason, its dose
// evaluated again; the earlier version stays.

#include "dose/store/Store.h"

namespace qvr::dose {

struct Correction {
    qint64 recordId = 0;
    double thicknessUm = 0; // the gauge's reading
    std::optional<double> uThicknessUm;
    QString reason;
    QString operatorName;
    bool thicknessConfirmed = false; // a gauge reading far from the nominal is meant
};

struct Corrected {
    Record record; // the new version as stored
    QString chainHead;
};

Outcome<Corrected> correctRecord(Store& store, const Correction& correction);

// "record 5 v2: thickness 52 µm, dose 10.2 kGy, U 0.61 kGy (reason: gauge reading)"
QString correctedText(const Record& record);

} // namespace qvr::dose
