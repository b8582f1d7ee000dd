#pragma once
// The synthetic product kept in a store, made by one login, with texts that test round trips.

#include "MappingProduct.h"
#include "dose/store/Store.h"

namespace qvr::test {

inline const QString kMaker = QStringLiteral("mapper");
inline const QString kApprover = QStringLiteral("quality");

inline Outcome<Done> storeProduct(Store& store, const Product& p) {
    MappingStudy study = p.study;
    study.product = QStringLiteral("Syringes \"5 mL\" – 𝔸 ×50\tboxed");
    study.loadingPattern = QStringLiteral("2 cartons a tote");
    study.irradiator = QStringLiteral("Cell 1");
    study.sourcePath = QStringLiteral("path B, two passes");
    study.processText = QStringLiteral("dwell per position");
    study.processValue = 12.5;
    study.processUnit = QStringLiteral("min");
    study.operatorName = kMaker;
    if (auto r = store.addMappingStudy(study); !r)
        return Failure{r.error()};
    for (MappingPosition pos : p.positions) {
        pos.studyId = study.id;
        pos.xMm = 100.25;
        pos.operatorName = kMaker;
        if (auto r = store.addMappingPosition(pos); !r)
            return Failure{r.error()};
    }
    for (const MappingRun& run : p.runs) {
        MappingRun r = run;
        r.studyId = study.id;
        r.operatorName = kMaker;
        if (auto added = store.addMappingRun(r); !added)
            return Failure{added.error()};
        std::vector<PositionDose> doses = run.doses;
        for (PositionDose& d : doses) {
            d.runId = run.id;
            d.operatorName = kMaker;
        }
        if (auto added = store.addMappingDoses(doses); !added)
            return Failure{added.error()};
    }
    return Done{};
}

} // namespace qvr::test
