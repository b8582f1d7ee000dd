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

Outcome<std::vector<CalibrationPoint>> parsePointsCsv(const QByteArray& data,
                                                      std::optional<double> defaultUDosePercent) {
    auto lines = csvLines(data);
    if (!lines)
        return Failure{lines.error()};
    std::vector<int> column(kColumns.size(), -1);
    bool haveHeader = false;
    int fieldCount = 0;
    std::vector<CalibrationPoint> points;
    for (const CsvLine& line : *lines) {
        const QStringList* fields = &line.fields;
        auto bad = [&](const QString& why) {
            return Failure{QStringLiteral("line %1: %2").arg(QString::number(line.number), why)};
        };
        if (!haveHeader) {
            for (int f = 0; f < fields->size(); ++f) {
                const int c = kColumns.indexOf(fields->at(f));
                if (c < 0)
                    return bad(QStringLiteral("unknown column \"%1\" (expected %2)")
                                   .arg(fields->at(f), kColumns.join(QLatin1Char(','))));
                if (column[c] >= 0)
                    return bad(QStringLiteral("column \"%1\" appears twice").arg(kColumns[c]));
                column[c] = f;
            }
            for (int c = 0; c < 3; ++c)
                if (column[c] < 0)
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
        auto value = [&](int c, const Quantity& quantity, double& out) -> std::optional<QString> {
            const auto v = parseQuantity(kColumns[c], fields->at(column[c]), quantity);
            if (!v)
                return v.error();
            out = *v;
            return std::nullopt;
        };
        CalibrationPoint p;
        if (auto e = value(0, kDoseKGy, p.doseKGy))
            return bad(*e);
        if (auto e = value(1, kAbsorbance, p.absorbance))
            return bad(*e);
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
    return points;
}

} // namespace qvr::dose
