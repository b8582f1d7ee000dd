#include "dose/core/DoseText.h"

#include "dose/core/Canonical.h"

#include <cmath>

namespace qvr::dose {

namespace {

// v rounded to decimals places (negative: to tens, hundreds ...), written without a minus zero.
QString rounded(double v, int decimals) {
    QString text;
    if (decimals >= 0) {
        text = QString::number(v, 'f', decimals);
    } else {
        const double unit = std::pow(10.0, -decimals);
        text = QString::number(std::round(v / unit) * unit, 'f', 0);
    }
    bool zero = true;
    for (QChar c : text)
        zero &= c == QLatin1Char('-') || c == QLatin1Char('0') || c == QLatin1Char('.');
    return zero && text.startsWith(QLatin1Char('-')) ? text.mid(1) : text;
}

QString range(Validity v, const Fit* fit) {
    const bool below = v == Validity::BelowRange;
    const QString side = below ? QStringLiteral("below") : QStringLiteral("above");
    if (!fit)
        return QStringLiteral("%1 the calibrated range").arg(side);
    return QStringLiteral("%1 %2 kGy, %3 the calibrated range")
        .arg(below ? QLatin1Char('<') : QLatin1Char('>'))
        .arg(numberText(below ? fit->doseLo : fit->doseHi), side);
}

} // namespace

RoundedDose roundedToU(double dose, double expanded) {
    if (!(expanded > 0) || !std::isfinite(expanded))
        return {QString::number(dose, 'g', 6), QStringLiteral("0")};
    const int exponent = static_cast<int>(std::floor(std::log10(expanded)));
    int decimals = 1 - exponent;
    // 0.0996 rounds to 0.10: still two digits, one place fewer.
    if (std::round(expanded * std::pow(10.0, decimals)) >= 100)
        --decimals;
    return {rounded(dose, decimals), rounded(expanded, decimals)};
}

QString coverageText(double k) {
    return QString::number(k, 'g', 3);
}

QString budgetLine(const DoseResult& r) {
    const Components& c = r.components;
    auto pc = [](double v) { return QString::number(v, 'f', 2) + QStringLiteral(" %"); };
    if (r.budget < 2)
        return QStringLiteral("relative standard uncertainties (k = 1): fit %1, reference dose %2, "
                              "reproducibility %3, thickness %4, reading %5; combined %6")
            .arg(pc(c.fit), pc(c.reference), pc(c.reproducibility), pc(c.thickness), pc(c.reading),
                 pc(c.combined()));
    const QString dof =
        r.dof >= kLargeDof ? QStringLiteral("many") : QString::number(std::floor(r.dof), 'f', 0);
    return QStringLiteral("relative standard uncertainties (k = 1): fit %1, reference dose %2 "
                          "(systematic), reproducibility %3, thickness %4, reading %5, "
                          "background %6; combined %7, %8 effective degrees of freedom, k = %9")
        .arg(pc(c.fit), pc(c.reference), pc(c.reproducibility), pc(c.thickness), pc(c.reading),
             pc(c.background), pc(c.combined()), dof, coverageText(r.coverage));
}

QString doseAndU(double dose, double expanded, double k) {
    const RoundedDose r = roundedToU(dose, expanded);
    return QStringLiteral("%1 ± %2 kGy (k = %3)").arg(r.dose, r.expanded, coverageText(k));
}

QString resultText(const DoseResult& result, const Fit& fit) {
    switch (result.validity) {
    case Validity::Valid:
        return doseAndU(result.dose, result.expanded, result.coverage);
    case Validity::BelowRange:
    case Validity::AboveRange:
        return range(result.validity, &fit);
    case Validity::NoDose:
    case Validity::OutsideRange:
        break;
    }
    return QStringLiteral("no dose: ") + result.reason;
}

QString recordResultText(const Record& record, const Fit* fit) {
    const Validity v = recordValidity(record);
    switch (v) {
    case Validity::Valid:
        return doseAndU(record.result.dose, record.result.expanded, record.result.coverage);
    case Validity::BelowRange:
    case Validity::AboveRange:
        return range(v, fit);
    case Validity::NoDose:
        return QStringLiteral("no dose");
    case Validity::OutsideRange:
        break;
    }
    return QStringLiteral("not a valid dose (outside the calibrated range)");
}

namespace {

QString wavelengthLine(int nm, qint64 calibration, const DoseResult& r) {
    const QString dose = r.inRange ? doseAndU(r.dose, r.expanded, r.coverage)
                                   : QStringLiteral("no dose (%1)").arg(validityFlag(r.validity));
    return QStringLiteral("%1 nm, calibration %2: %3").arg(nm).arg(calibration).arg(dose);
}

} // namespace

QStringList wavelengthLines(const Record& record) {
    if (!record.second)
        return {};
    const SecondRead& s = *record.second;
    return {wavelengthLine(record.wavelengthNm, record.calibrationId, s.first),
            wavelengthLine(s.wavelengthNm, s.calibrationId, s.second)};
}

QString agreementText(const Record& record) {
    if (!record.second)
        return {};
    const SecondRead& s = *record.second;
    if (!s.hasAgreement)
        return s.note;
    const Agreement& a = s.agreement;
    return QStringLiteral("%1: |D1 - D2| = %2 kGy %3 k u(D1 - D2) = %4 kGy (k = %5)")
        .arg(a.consistent ? QStringLiteral("agree") : QStringLiteral("DISAGREE"),
             QString::number(std::fabs(a.difference), 'f', 3),
             a.consistent ? QStringLiteral("<=") : QStringLiteral(">"),
             QString::number(a.expanded, 'f', 3), coverageText(a.coverage));
}

} // namespace qvr::dose
