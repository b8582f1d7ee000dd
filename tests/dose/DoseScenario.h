#pragma once
// A lab's day in a store, the same on any database: a batch, a calibration of 5 dose levels x 3
// replicates, its fit, a job and its dosimeter records, at times from a stepped clock so that
// two runs write the same rows.

#include "dose/core/Fitting.h"
#include "dose/store/Store.h"

#include <cmath>

namespace qvr::test {

// One second later at every call, from a fixed start.
inline dose::Now steppedClock() {
    auto t = std::make_shared<QDateTime>(QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC));
    return [t] { return *t = t->addMSecs(1000); };
}

struct DoseScenario {
    dose::Batch batch;
    dose::Calibration calibration;
    dose::Fit fit;
    dose::Job job;
};

// Absorbance of a film of 100 um at dose d: response 0.5 d^0.9 mm^-1 on a background of 0.1,
// with a replicate's own small deviation.
inline double scenarioAbsorbance(double doseKGy, int replicate) {
    return 0.1 + 0.05 * std::pow(doseKGy, 0.9) * (1 + 0.004 * (replicate - 1));
}

inline dose::Outcome<DoseScenario> seedStore(dose::Store& store) {
    using namespace dose;
    DoseScenario s;
    s.batch.id = QStringLiteral("B-2026-03");
    s.batch.description = QStringLiteral("film lot 3, \"blue\" box");
    s.batch.thicknessUm = 100.2;
    s.batch.uThicknessUm = 1.7;
    s.batch.background = {{510, 0.1}, {600, 0.0834567890123}};
    s.batch.operatorName = QStringLiteral("ana");
    if (auto r = store.addBatch(s.batch); !r)
        return Failure{r.error()};

    s.calibration.batchId = s.batch.id;
    s.calibration.headSerial = QStringLiteral("H-0042");
    s.calibration.wavelengthNm = 510;
    s.calibration.a0 = 0.1;
    s.calibration.certificate = QStringLiteral("CERT-17/2026");
    s.calibration.validUntil = QDate(2030, 1, 1);
    for (double d : {1.0, 5.0, 10.0, 20.0, 40.0})
        for (int rep = 0; rep < 3; ++rep)
            s.calibration.points.push_back({QStringLiteral("C%1-%2").arg(d).arg(rep), d, 1.2,
                                            scenarioAbsorbance(d, rep), 100.0});
    s.calibration.operatorName = s.batch.operatorName;
    auto cal = store.addCalibration(s.calibration);
    if (!cal)
        return Failure{cal.error()};
    s.calibration.id = cal->id;

    auto fit = fitCalibration(s.calibration, Model::Poly2, false);
    if (!fit)
        return Failure{fit.error()};
    s.fit = *fit;
    s.fit.calibrationId = s.calibration.id;
    s.fit.operatorName = s.batch.operatorName;
    auto stored = store.addFit(s.fit);
    if (!stored)
        return Failure{stored.error()};
    s.fit.id = stored->id;

    s.job.id = QStringLiteral("J-7");
    s.job.product = QStringLiteral("syringes, 2 pallets");
    s.job.dminKGy = 25;
    s.job.operatorName = s.batch.operatorName;
    if (auto r = store.addJob(s.job); !r)
        return Failure{r.error()};
    return s;
}

// Dosimeter n of the job (one of 50), read three times, and how its dose is evaluated.
inline dose::Record scenarioRecord(dose::Store& store, const DoseScenario& s, int n) {
    using namespace dose;
    Record r;
    r.jobId = s.job.id;
    r.dosimeter = QStringLiteral("D%1").arg(n % 50);
    r.calibrationId = s.calibration.id;
    r.fitId = s.fit.id;
    r.batchId = s.batch.id;
    r.wavelengthNm = s.calibration.wavelengthNm;
    r.headSerial = s.calibration.headSerial;
    r.readAt = store.clock()();
    for (int i = 0; i < 3; ++i)
        r.readings.push_back({r.readAt.addMSecs(250 * i), scenarioAbsorbance(25 + n % 7, i)});
    r.zeroText = QStringLiteral("0.000");
    r.a0 = s.calibration.a0;
    r.thicknessUm = s.batch.thicknessUm;
    r.uThicknessUm = s.batch.uThicknessUm;
    r.operatorName = s.batch.operatorName;
    return r;
}
inline std::function<void(dose::Record&)> scenarioEvaluation(const DoseScenario& s) {
    return [s](dose::Record& r) { evaluateRecord(r, s.fit, s.job, s.calibration); };
}

inline dose::Outcome<dose::Receipt> addScenarioRecord(dose::Store& store, const DoseScenario& s,
                                                      int n) {
    return store.addRecord(scenarioRecord(store, s, n), scenarioEvaluation(s));
}

} // namespace qvr::test
