#include "dose/core/CsvPoints.h"

#include "dose/core/CsvFields.h"
#include "dose/core/Quantity.h"
#include "dose/core/TextRules.h"

#include <QStringList>

namespace qvr::dose {

namespace {

const QStringList kColumns = {QStringLiteral("dose_kGy"), QStringLiteral("absorbance"),
                              QStringLiteral("thickness_um"), QStringLiteral("u_dose_percent"),
                              QStringLiteral("dosimeter")};


} // namespace

namespace {

// "absorbance_510" names the absorbance at 510 nm; nothing for any other column.
std::optional<int> wavelengthColumn(const QString& name) {
    static const QString prefix = QStringLiteral("absorbance_");
    if (!name.startsWith(prefix))
        return std::nullopt;
    const QString digits = name.mid(prefix.size());
    bool ok = false;
    const int nm = digits.toInt(&ok);
    if (!ok || digits != QString::number(nm) || nm < kWavelengthNm.lo || nm > kWavelengthNm.hi)
        return std::nullopt;
    return nm;
}

} // namespace

Outcome<std::vector<CalibrationPoint>> parsePointsCsv(const QByteArray& data,
                                                      std::optional<double> defaultUDosePercent) {
    auto file = parseCalibrationCsv(data, defaultUDosePercent);
    if (!file)
        return Failure{file.error()};
    if (!file->wavelengthsNm.empty())
        return Failure{QStringLiteral("the file gives absorbances by wavelength; one absorbance "
                                      "column was expected")};
    return file->points.front();
}

Outcome<CsvCalibration> parseCalibrationCsv(const QByteArray& data,
                                            std::optional<double> defaultUDosePercent) {
    auto lines = csvLines(data);
    if (!lines)
        return Failure{lines.error()};
    std::vector<int> column(kColumns.size(), -1);
    bool haveHeader = false;
    int fieldCount = 0;
    std::vector<std::pair<int, int>> byWavelength; // nm, field
    std::vector<CalibrationPoint> points;
    std::vector<std::vector<double>> absorbances; // per point, one per wavelength column
    for (const CsvLine& line : *lines) {
        const QStringList* fields = &line.fields;
        auto bad = [&](const QString& why) {
            return Failure{QStringLiteral("line %1: %2").arg(QString::number(line.number), why)};
        };
        if (!haveHeader) {
            for (int f = 0; f < fields->size(); ++f) {
                if (const auto nm = wavelengthColumn(fields->at(f))) {
                    for (const auto& [seen, at] : byWavelength)
                        if (seen == *nm)
                            return bad(
                                QStringLiteral("column \"%1\" appears twice").arg(fields->at(f)));
                    byWavelength.emplace_back(*nm, f);
                    continue;
                }
                const int c = kColumns.indexOf(fields->at(f));
                if (c < 0)
                    return bad(QStringLiteral("unknown column \"%1\" (expected %2, or "
                                              "absorbance_NM for each wavelength)")
                                   .arg(fields->at(f), kColumns.join(QLatin1Char(','))));
                if (column[c] >= 0)
                    return bad(QStringLiteral("column \"%1\" appears twice").arg(kColumns[c]));
                column[c] = f;
            }
            if (!byWavelength.empty() && column[1] >= 0)
                return bad(QStringLiteral("both \"absorbance\" and absorbance_NM columns: give "
                                          "one or the other"));
            if (byWavelength.size() > 2)
                return bad(QStringLiteral("%1 absorbance_NM columns: the head reads at two "
                                          "wavelengths")
                               .arg(byWavelength.size()));
            for (int c = 0; c < 3; ++c)
                if (column[c] < 0 && !(c == 1 && !byWavelength.empty()))
                    return bad(
                        QStringLiteral("the header lacks the column \"%1\"").arg(kColumns[c]));
            if (column[3] < 0 && !defaultUDosePercent)
                return bad(QStringLiteral("no u_dose_percent column and no reference dose "
                                          "uncertainty given for the whole file: one of them is "
                                          "needed"));
            fieldCount = static_cast<int>(fields->size());
            haveHeader = true;
            continue;
        }
        if (fields->size() != fieldCount)
            return bad(QStringLiteral("%1 fields where the header has %2")
                           .arg(QString::number(fields->size()), QString::number(fieldCount)));
        auto valueAt = [&](const QString& name, int field, const Quantity& quantity,
                           double& out) -> std::optional<QString> {
            const auto v = parseQuantity(name, fields->at(field), quantity);
            if (!v)
                return v.error();
            out = *v;
            return std::nullopt;
        };
        auto value = [&](int c, const Quantity& quantity, double& out) {
            return valueAt(kColumns[c], column[c], quantity, out);
        };
        CalibrationPoint p;
        if (auto e = value(0, kDoseKGy, p.doseKGy))
            return bad(*e);
        if (byWavelength.empty()) {
            if (auto e = value(1, kAbsorbance, p.absorbance))
                return bad(*e);
        } else {
            std::vector<double> a(byWavelength.size());
            for (size_t w = 0; w < byWavelength.size(); ++w)
                if (auto e = valueAt(QStringLiteral("absorbance_%1").arg(byWavelength[w].first),
                                     byWavelength[w].second, kAbsorbance, a[w]))
                    return bad(*e);
            absorbances.push_back(a);
        }
        if (auto e = value(2, kThicknessUm, p.thicknessUm))
            return bad(*e);
        if (column[3] >= 0) {
            if (auto e = value(3, kUDosePercent, p.uDosePercent))
                return bad(*e);
        } else {
            p.uDosePercent = *defaultUDosePercent;
        }
        if (column[4] >= 0) {
            auto id = acceptOptionalId(QStringLiteral("dosimeter id"), fields->at(column[4]));
            if (!id)
                return bad(id.error());
            p.dosimeter = *id;
        }
        points.push_back(p);
    }
    if (!haveHeader)
        return Failure{QStringLiteral("the file is empty: no header line")};
    if (points.empty())
        return Failure{QStringLiteral("the file has a header but no points")};
    CsvCalibration out;
    if (byWavelength.empty()) {
        out.points.push_back(std::move(points));
        return out;
    }
    // The same films at each wavelength, in the file's order: their residuals pair up.
    for (size_t w = 0; w < byWavelength.size(); ++w) {
        out.wavelengthsNm.push_back(byWavelength[w].first);
        std::vector<CalibrationPoint> at = points;
        for (size_t i = 0; i < at.size(); ++i)
            at[i].absorbance = absorbances[i][w];
        out.points.push_back(std::move(at));
    }
    return out;
}

} // namespace qvr::dose
