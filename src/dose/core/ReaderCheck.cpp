#include "dose/core/ReaderCheck.h"

#include "dose/core/Canonical.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace qvr::dose {

QString ReaderCheck::canonical() const {
    return Canonical(QStringLiteral("reader_check"))
        .integer("id", id)
        .text("head", headSerial)
        .integer("wavelength_nm", wavelengthNm)
        .text("certificate", certificate)
        .number("tolerance_percent", tolerancePercent)
        .raw("filters", filterResultsText(filters))
        .flag("passed", passed)
        .text("operator", operatorName)
        .time("created_at", createdAt)
        .finish();
}

ReaderCheck compareFilters(const FilterSet& set, int wavelengthNm, const QString& headSerial,
                           const QMap<QString, double>& measured) {
    ReaderCheck check;
    check.headSerial = headSerial;
    check.wavelengthNm = wavelengthNm;
    check.certificate = set.certificate;
    check.tolerancePercent = set.tolerancePercent;
    const auto certified = set.certified.value(wavelengthNm);
    check.passed = !certified.isEmpty();
    for (auto it = certified.begin(); it != certified.end(); ++it) {
        FilterResult r{it.key(), it.value(), std::nan(""), false};
        if (measured.contains(it.key())) {
            r.measured = measured.value(it.key());
            r.pass = std::abs(r.measured - r.certified) <=
                     set.tolerancePercent / 100 * std::abs(r.certified);
        }
        check.passed &= r.pass;
        check.filters.push_back(r);
    }
    return check;
}

QString filterResultsText(const std::vector<FilterResult>& filters) {
    QStringList parts;
    for (const FilterResult& f : filters)
        parts << Canonical(QStringLiteral("filter"))
                     .text("item", f.item)
                     .number("certified", f.certified)
                     .number("measured", f.measured)
                     .flag("pass", f.pass)
                     .finish();
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

std::vector<FilterResult> parseFilterResults(const QString& json) {
    std::vector<FilterResult> out;
    for (const auto& v : parseStoredJson(json).array()) {
        const QJsonObject o = v.toObject();
        const QJsonValue m = o.value(QStringLiteral("measured"));
        out.push_back({o.value(QStringLiteral("item")).toString(),
                       o.value(QStringLiteral("certified")).toDouble(),
                       m.isDouble() ? m.toDouble() : std::nan(""),
                       o.value(QStringLiteral("pass")).toBool()});
    }
    return out;
}

} // namespace qvr::dose
