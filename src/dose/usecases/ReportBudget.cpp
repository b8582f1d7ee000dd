#include "dose/usecases/ReportBudget.h"

#include "dose/core/Dose.h"
#include "dose/usecases/ReportHtml.h"

#include <algorithm>

namespace qvr::dose {

namespace {

QString percent(double value) {
    return QString::number(value, 'f', 2);
}

} // namespace

std::vector<BudgetLine> budgetLines(const Components& c) {
    return {
        {QStringLiteral("calibration function"),
         QStringLiteral("Type A: the fit's coefficient covariance"), c.fit},
        {QStringLiteral("reference dose"), QStringLiteral("Type B: the irradiation certificate"),
         c.reference},
        {QStringLiteral("film reproducibility"),
         QStringLiteral("Type A: pooled replicate spread of the calibration"), c.reproducibility},
        {QStringLiteral("thickness"), QStringLiteral("Type B: gauge or batch uncertainty"),
         c.thickness},
        {QStringLiteral("reading"),
         QStringLiteral("Type B: display resolution; Type A: spread of the readings"), c.reading},
    };
}

QString budgetHtml(qint64 calibrationId, const std::vector<Record>& reads) {
    std::vector<const Record*> valid;
    for (const Record& r : reads)
        if (r.calibrationId == calibrationId && recordValidity(r) == Validity::Valid)
            valid.push_back(&r);
    if (valid.empty())
        return QStringLiteral("<p>No valid dose of this job was given by calibration %1, so it "
                              "has no budget here.</p>")
            .arg(calibrationId);
    QStringList rows;
    const size_t count = budgetLines(valid.front()->result.components).size();
    auto range = [&](auto value) {
        double lo = value(*valid.front()), hi = lo;
        for (const Record* r : valid) {
            lo = std::min(lo, value(*r));
            hi = std::max(hi, value(*r));
        }
        return lo == hi ? percent(lo) : QStringLiteral("%1 to %2").arg(percent(lo), percent(hi));
    };
    for (size_t i = 0; i < count; ++i) {
        const BudgetLine first = budgetLines(valid.front()->result.components)[i];
        rows << htmlRow({first.name, first.source, range([i](const Record& r) {
                             return budgetLines(r.result.components)[i].percent;
                         })});
    }
    rows << htmlRow({QStringLiteral("<b>combined, u<sub>c</sub></b>"),
                     QStringLiteral("root sum of squares"),
                     range([](const Record& r) { return r.result.components.combined(); })});
    rows << htmlRow(
        {QStringLiteral("<b>expanded, U</b>"), QStringLiteral("k = %1").arg(kCoverage),
         range([](const Record& r) { return kCoverage * r.result.components.combined(); })});
    QString h = QStringLiteral("<p><b>Uncertainty budget of calibration %1</b> (relative standard "
                               "uncertainties, k = 1, % of dose, over this job's %2 valid "
                               "reads)</p>")
                    .arg(QString::number(calibrationId), QString::number(valid.size()));
    h += htmlTable({QStringLiteral("Component"), QStringLiteral("Evaluation"), QStringLiteral("%")},
                   rows);
    QStringList perRead;
    QStringList headers{QStringLiteral("Record")};
    for (const BudgetLine& b : budgetLines(valid.front()->result.components))
        headers << b.name + QStringLiteral(" %");
    headers << QStringLiteral("u<sub>c</sub> %");
    for (const Record* r : valid) {
        QStringList values{QStringLiteral("%1 v%2 (%3)")
                               .arg(QString::number(r->id), QString::number(r->version),
                                    r->dosimeter.toHtmlEscaped())};
        for (const BudgetLine& b : budgetLines(r->result.components))
            values << percent(b.percent);
        values << percent(r->result.components.combined());
        perRead << htmlRow(values);
    }
    h += QStringLiteral("<p>Components per read</p>") + htmlTable(headers, perRead);
    return h;
}

} // namespace qvr::dose
