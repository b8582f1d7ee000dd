#pragma once
// A calibration: films of one batch irradiated to certified reference doses and read on one
// head at one wavelength. It holds the points as imported; fits are kept separately.

#include "dose/core/Amendment.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace qvr::dose {

struct CalibrationPoint {
    QString dosimeter;
    double doseKGy = 0;
    double uDosePercent = 0; // relative standard uncertainty (k = 1) of the reference dose
    double absorbance = 0;
    double thicknessUm = 0;
    double readerSd = 0; // spread of the readings the film was read with; 0: not stated
    bool operator==(const CalibrationPoint&) const = default;
};

struct Calibration {
    qint64 id = 0;
    QString batchId;
    QString headSerial;
    int wavelengthNm = 0;
    double a0 = 0; // the batch's background at this wavelength, as used for every response
    QString certificate;
    QDate validUntil;                     // invalid: none given
    std::optional<double> windowMinHours; // reading window after irradiation, if the lab set one
    std::optional<double> windowMaxHours;
    std::vector<CalibrationPoint> points;
    QString operatorName;
    QDateTime createdAt;
    int version = 1; // 1 + the amendments applied when read
    std::vector<Amendment> amendments;
    // The calibration imported with it from the same films at the head's other wavelength (0:
    // none): their fits share the films' scatter, so doses through both are correlated.
    qint64 sameFilmsAs = 0;

    bool expiredOn(const QDate& day) const { return validUntil.isValid() && day > validUntil; }
    std::vector<double> responses() const;
    QString canonical() const;
};

// Specific net absorbance k = (A - A0) / t in mm^-1, t given in micrometres.
double response(double absorbance, double a0, double thicknessUm);

QString pointsText(const std::vector<CalibrationPoint>& points);
std::vector<CalibrationPoint> parsePoints(const QString& json);

} // namespace qvr::dose
