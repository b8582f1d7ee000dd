#include "dose/core/MappingCsv.h"

#include "dose/core/CsvFields.h"
#include "dose/core/Quantity.h"
#include "dose/core/TextRules.h"

namespace qvr::dose {

namespace {

const QStringList kColumns = {QStringLiteral("position"), QStringLiteral("dosimeter"),
                              QStringLiteral("dose_kGy"), QStringLiteral("U_kGy"),
                              QStringLiteral("k"),        QStringLiteral("source")};

constexpr Quantity kCoverageFactor{0, kMaxCoverageFactor, true, ""};

} // namespace

Outcome<std::vector<PositionDose>> parseMappingDosesCsv(const QByteArray& data,
                                                        const QString& runId) {
    auto lines = csvLines(data);
    if (!lines)
        return Failure{lines.error()};
    if (lines->empty())
        return Failure{QStringLiteral("the file is empty: no header line")};
    std::vector<int> column(kColumns.size(), -1);
    const CsvLine& header = lines->front();
    auto bad = [](const CsvLine& line, const QString& why) {
        return Failure{QStringLiteral("line %1: %2").arg(QString::number(line.number), why)};
    };
    for (int f = 0; f < header.fields.size(); ++f) {
        const int c = kColumns.indexOf(header.fields[f]);
        if (c < 0)
            return bad(header, QStringLiteral("unknown column \"%1\" (expected %2)")
                                   .arg(header.fields[f], kColumns.join(QLatin1Char(','))));
        if (column[c] >= 0)
            return bad(header, QStringLiteral("column \"%1\" appears twice").arg(kColumns[c]));
        column[c] = f;
    }
    for (int c = 0; c < kColumns.size(); ++c)
        if (column[c] < 0)
            return bad(header,
                       QStringLiteral("the header lacks the column \"%1\"").arg(kColumns[c]));
    std::vector<PositionDose> doses;
    for (size_t i = 1; i < lines->size(); ++i) {
        const CsvLine& line = (*lines)[i];
        if (line.fields.size() != header.fields.size())
            return bad(line, QStringLiteral("%1 fields where the header has %2")
                                 .arg(QString::number(line.fields.size()),
                                      QString::number(header.fields.size())));
        auto cell = [&](int c) { return line.fields.at(column[c]); };
        PositionDose d;
        d.runId = runId;
        d.state = PositionState::Valid;
        d.imported = true;
        auto position = acceptId(QStringLiteral("position id"), cell(0));
        auto dosimeter = acceptId(QStringLiteral("dosimeter id"), cell(1));
        auto dose = parseQuantity(kColumns[2], cell(2), kDoseKGy);
        auto expanded = parseQuantity(kColumns[3], cell(3), kDoseKGy);
        auto k = parseQuantity(kColumns[4], cell(4), kCoverageFactor);
        auto source = acceptFreeText(QStringLiteral("source"), cell(5));
        for (const QString* why : {&position.error(), &dosimeter.error(), &dose.error(),
                                   &expanded.error(), &k.error(), &source.error()})
            if (!why->isEmpty())
                return bad(line, *why);
        if (source->trimmed().isEmpty())
            return bad(line, QStringLiteral("an imported dose needs its source"));
        if (*expanded >= *dose)
            return bad(line,
                       QStringLiteral("U_kGy %1 is not below the dose %2").arg(cell(3), cell(2)));
        d.position = *position;
        d.dosimeter = *dosimeter;
        d.doseKGy = *dose;
        d.expanded = *expanded;
        d.coverage = *k;
        d.randomRel = *expanded / *k / *dose;
        d.source = *source;
        doses.push_back(d);
    }
    if (doses.empty())
        return Failure{QStringLiteral("the file has a header but no doses")};
    return doses;
}

} // namespace qvr::dose
