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
    Fit fit; // that gave its dose
};

Outcome<Corrected> correctRecord(Store& store, const Correction& correction);

// "record 5 v2: thickness 52 µm, 10.2 ± 0.6 kGy (k = 2) (reason: gauge reading)"
QString correctedText(const Corrected& corrected);

} // namespace qvr::dose
