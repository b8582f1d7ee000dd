#include "dose/usecases/MappingImport.h"

#include "core/RegularFile.h"
#include "dose/core/MappingCsv.h"

namespace qvr::dose {

namespace {
constexpr qint64 kMaxCsvBytes = 16 * 1024 * 1024;
}

Outcome<MappingImported> importMappingDoses(Store& store, const QString& runId, const QString& file,
                                            const QString& operatorName) {
    QString why;
    const auto data = readRegularFile(file, kMaxCsvBytes, &why);
    if (!data)
        return Failure{QStringLiteral("cannot read %1: %2").arg(file, why)};
    auto doses = parseMappingDosesCsv(*data, runId);
    if (!doses)
        return Failure{QStringLiteral("%1: %2").arg(file, doses.error())};
    for (PositionDose& d : *doses)
        d.operatorName = operatorName;
    const int n = int(doses->size());
    auto r = store.addMappingDoses(std::move(*doses));
    if (!r)
        return Failure{r.error()};
    return MappingImported{*r, n};
}

} // namespace qvr::dose
