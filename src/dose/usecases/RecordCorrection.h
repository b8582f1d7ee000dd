#pragma once
// A record's thickness corrected by a gauge reading: a new version with the reason, its dose
// evaluated again, signed by the corrector; the earlier version stays.

#include "dose/usecases/Signer.h"

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

// What can be refused is refused before the corrector is asked to sign.
Outcome<Corrected> correctRecord(Store& store, Signer& signer, const Correction& correction);

// "record 5 v2: thickness 52 µm, 10.2 ± 0.6 kGy (k = 2) (reason: gauge reading)"
QString correctedText(const Corrected& corrected);

} // namespace qvr::dose
