#pragma once
// A film batch: one lot of dosimeter film with its nominal thickness and its background
// absorbance A0 (unirradiated film) at each wavelength.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <map>
#include <optional>

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

    std::optional<double> a0(int wavelengthNm) const;
    bool expiredOn(const QDate& day) const { return expires.isValid() && day > expires; }
    QString canonical() const;
};

QString backgroundText(const std::map<int, double>& background); // {"510":0.1,"600":0.08}
std::map<int, double> parseBackground(const QString& json);

} // namespace qvr::dose
