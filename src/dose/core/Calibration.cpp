#include "dose/core/Calibration.h"

#include "dose/core/Canonical.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace qvr::dose {

double response(double absorbance, double a0, double thicknessUm) {
    return (absorbance - a0) / (thicknessUm / 1000.0);
}

std::vector<double> Calibration::responses() const {
    std::vector<double> k;
    for (const auto& p : points)
        k.push_back(response(p.absorbance, a0, p.thicknessUm));
    return k;
}

QString Calibration::canonical() const {
    Canonical c(QStringLiteral("calibration"));
    c.integer("id", id)
        .text("batch", batchId)
        .text("head", headSerial)
        .integer("wavelength_nm", wavelengthNm)
        .number("a0", a0)
        .text("certificate", certificate)
        .date("valid_until", validUntil)
        .number("window_min_h", windowMinHours)
        .number("window_max_h", windowMaxHours)
        .raw("points", pointsText(points))
        .text("operator", operatorName)
        .time("created_at", createdAt);
    // Only when linked, so that calibrations written before the link keep their text.
    if (sameFilmsAs != 0)
        c.integer("same_films_as", sameFilmsAs);
    return c.finish();
}

QString pointsText(const std::vector<CalibrationPoint>& points) {
    QStringList parts;
    for (const auto& p : points)
        // The readings' spread only when stated, so that points written before it keep their text.
        parts << QStringLiteral("[%1,%2,%3,%4,%5%6]")
                     .arg(quoted(p.dosimeter), numberText(p.doseKGy), numberText(p.uDosePercent),
                          numberText(p.absorbance), numberText(p.thicknessUm),
                          p.readerSd > 0 ? QLatin1Char(',') + numberText(p.readerSd) : QString());
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

std::vector<CalibrationPoint> parsePoints(const QString& json) {
    std::vector<CalibrationPoint> points;
    for (const auto& row : parseStoredJson(json).array()) {
        const QJsonArray a = row.toArray();
        points.push_back({a.at(0).toString(), a.at(1).toDouble(), a.at(2).toDouble(),
                          a.at(3).toDouble(), a.at(4).toDouble(), a.at(5).toDouble(0)});
    }
    return points;
}

} // namespace qvr::dose
