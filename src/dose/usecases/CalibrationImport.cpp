#include "dose/usecases/CalibrationImport.h"

#include "dose/core/Canonical.h"
#include "dose/core/CsvPoints.h"

#include <QFile>

namespace qvr::dose {

Outcome<Receipt> importCalibration(Store& store, const CalibrationImport& import,
                                   const QDate& today) {
    Calibration c = import.calibration;
    c.headSerial = c.headSerial.trimmed();
    if (c.headSerial.isEmpty())
        return Failure{QStringLiteral("the head's serial number is missing")};
    if (c.wavelengthNm <= 0)
        return Failure{QStringLiteral("the wavelength must be a wavelength in nm")};
    if (import.uDosePercent && !(*import.uDosePercent >= 0 && *import.uDosePercent < 100))
        return Failure{QStringLiteral("the reference dose's uncertainty must be from 0 to below "
                                      "100 %")};
    QFile file(import.file);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{
            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString())};
    auto points = parsePointsCsv(file.readAll(), import.uDosePercent);
    if (!points)
        return Failure{QStringLiteral("%1: %2").arg(file.fileName(), points.error())};
    c.points = *points;

    auto batch = store.batch(c.batchId);
    if (!batch)
        return Failure{batch.error()};
    if (batch->expiredOn(today))
        return Failure{
            QStringLiteral("batch %1 expired on %2").arg(c.batchId, dateText(batch->expires))};
    const auto a0 = batch->a0(c.wavelengthNm);
    if (!a0)
        return Failure{QStringLiteral("batch %1 has no background absorbance at %2 nm (batch add "
                                      "--background %2=A0)")
                           .arg(c.batchId)
                           .arg(c.wavelengthNm)};
    c.a0 = *a0;
    return store.addCalibration(c);
}

} // namespace qvr::dose
