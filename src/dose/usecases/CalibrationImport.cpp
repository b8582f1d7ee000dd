#include "dose/usecases/CalibrationImport.h"

#include "core/RegularFile.h"
#include "dose/core/Canonical.h"
#include "dose/core/CsvPoints.h"
#include "dose/core/Quantity.h"

#include <algorithm>

namespace qvr::dose {

namespace {

// A calibration file is a few hundred lines; anything far larger is not one.
constexpr qint64 kMaxCsvBytes = 16 * 1024 * 1024;

} // namespace

Outcome<std::vector<Receipt>> importCalibration(Store& store, const CalibrationImport& import,
                                                const QDate& today) {
    Calibration c = import.calibration;
    c.headSerial = c.headSerial.trimmed();
    if (c.headSerial.isEmpty())
        return Failure{QStringLiteral("the head's serial number is missing")};
    if (c.wavelengthNm != 0)
        if (auto nm = parseQuantity(QStringLiteral("the wavelength"),
                                    QString::number(c.wavelengthNm), kWavelengthNm);
            !nm)
            return Failure{nm.error()};
    if (import.uDosePercent)
        if (auto u = parseQuantity(QStringLiteral("the reference dose's uncertainty"),
                                   QString::number(*import.uDosePercent), kUDosePercent);
            !u)
            return Failure{u.error()};
    if (c.windowMinHours && c.windowMaxHours && !(*c.windowMinHours < *c.windowMaxHours))
        return Failure{QStringLiteral("the reading window must begin before it ends")};
    QString why;
    const auto data = readRegularFile(import.file, kMaxCsvBytes, &why);
    if (!data)
        return Failure{QStringLiteral("cannot read %1: %2").arg(import.file, why)};
    auto file = parseCalibrationCsv(*data, import.uDosePercent);
    if (!file)
        return Failure{QStringLiteral("%1: %2").arg(import.file, file.error())};
    if (import.readerSd)
        if (auto sd = parseQuantity(QStringLiteral("the readings' spread"),
                                    QString::number(*import.readerSd), kReaderSd);
            !sd)
            return Failure{sd.error()};
    std::vector<int> wavelengths = file->wavelengthsNm;
    if (wavelengths.empty()) {
        if (c.wavelengthNm == 0)
            return Failure{QStringLiteral("%1 has one absorbance column: its wavelength is "
                                          "needed")
                               .arg(import.file)};
        wavelengths.push_back(c.wavelengthNm);
    } else if (c.wavelengthNm != 0 && std::find(wavelengths.begin(), wavelengths.end(),
                                                c.wavelengthNm) == wavelengths.end()) {
        QStringList named;
        for (int nm : wavelengths)
            named << QString::number(nm);
        return Failure{QStringLiteral("%1 gives absorbances at %2 nm, not at %3 nm")
                           .arg(import.file, named.join(QStringLiteral(" and ")),
                                QString::number(c.wavelengthNm))};
    }

    auto batch = store.batch(c.batchId);
    if (!batch)
        return Failure{batch.error()};
    if (batch->expiredOn(today))
        return Failure{
            QStringLiteral("batch %1 expired on %2").arg(c.batchId, dateText(batch->expires))};
    std::vector<Calibration> made;
    for (size_t w = 0; w < wavelengths.size(); ++w) {
        Calibration at = c;
        at.wavelengthNm = wavelengths[w];
        at.points = file->points[w];
        if (import.readerSd)
            for (CalibrationPoint& p : at.points)
                p.readerSd = *import.readerSd;
        const auto a0 = batch->a0(at.wavelengthNm);
        if (!a0)
            return Failure{QStringLiteral("batch %1 has no background absorbance at %2 nm: add "
                                          "a batch with one")
                               .arg(c.batchId, QString::number(at.wavelengthNm))};
        at.a0 = *a0;
        made.push_back(std::move(at));
    }
    return store.addCalibrations(std::move(made));
}

std::optional<QString> trainingOnlyText(const Calibration& c) {
    if (!c.certificate.isEmpty() && c.validUntil.isValid())
        return std::nullopt;
    return QStringLiteral("calibration %1 has %2: it serves training jobs only")
        .arg(QString::number(c.id), c.certificate.isEmpty() && !c.validUntil.isValid()
                                        ? QStringLiteral("no certificate and no valid-until date")
                                    : c.certificate.isEmpty()
                                        ? QStringLiteral("no certificate")
                                        : QStringLiteral("no valid-until date"));
}

} // namespace qvr::dose
