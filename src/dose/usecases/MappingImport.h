#pragma once
// A mapping run's doses read by another system, from a CSV file (MappingCsv.h), in one write.

#include "dose/store/Store.h"

namespace qvr::dose {

struct MappingImported {
    Receipt receipt;
    int doses = 0;
};

Outcome<MappingImported> importMappingDoses(Store& store, const QString& runId, const QString& file,
                                            const QString& operatorName);

} // namespace qvr::dose
