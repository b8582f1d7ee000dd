#pragma once
// A film batch: one lot of dosimeter film with its nominal thickness and its background
// absorbance A0 (unirradiated film) at each wavelength.

#include "dose/core/Amendment.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace qvr::dose {

struct Batch {
    QString id;
    QString description;
    double thicknessUm = 0;
    double uThicknessUm = 0;          // standard uncertainty of the nominal thickness
    std::map<int, double> background; // wavelength in nm -> A0
    QDate expires;                    // invalid: no expiry date given
    QString operatorName;
    QDateTime createdAt;
    // wavelength in nm -> standard uncertainty of A0; counts only where a read's A0 is not its
    // calibration's (a background given again later)
    std::map<int, double> uBackground;
    int version = 1; // 1 + the amendments applied when read
    std::vector<Amendment> amendments;

    std::optional<double> a0(int wavelengthNm) const;
    double uA0(int wavelengthNm) const; // 0 when not given
    bool expiredOn(const QDate& day) const { return expires.isValid() && day > expires; }
    QString canonical() const;
};

QString backgroundText(const std::map<int, double>& background); // {"510":0.1,"600":0.08}
std::map<int, double> parseBackground(const QString& json);

} // namespace qvr::dose
