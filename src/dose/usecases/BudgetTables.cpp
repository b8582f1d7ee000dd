#include "dose/usecases/BudgetTables.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"

namespace qvr::dose {

namespace {

QString cells(const QString& what, const QString& value) {
    return QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(what, value);
}

QString pc(double v) {
    return QString::number(v, 'f', 2) + QStringLiteral(" %");
}

} // namespace

QString coverageRow(const Fit& f, const CoverageReport& report, int trials, quint64 seed) {
    QStringList levels;
    for (const CoverageAtDose& at : report.levels)
        levels << QStringLiteral("%1 kGy: %2 % (U / error %3)")
                      .arg(numberText(at.dose), QString::number(at.coveragePercent, 'f', 1),
                           QString::number(at.uOverError, 'f', 2));
    return cells(QStringLiteral("Coverage check"),
                 QStringLiteral("fit %1, %2 simulated calibrations (seed %3, %4 not accepted): U "
                                "covered the true dose in %5. This checks that U propagates "
                                "consistently from the stated components, not that each "
                                "component's size is right.")
                     .arg(QString::number(f.id), QString::number(trials), QString::number(seed),
                          QString::number(report.rejected), levels.join(QStringLiteral("; "))));
}

QString calibrationBudgetRows(const Fit& f) {
    if (f.budget < 2)
        return cells(
            QStringLiteral("Budget"),
            QStringLiteral("fit %1 was made before the budget by dose: pooled "
                           "reproducibility %2 of the response, reference dose %3, k = 2")
                .arg(QString::number(f.id), pc(f.reproducibilityPercent), pc(f.referencePercent)));
    const Reproducibility& r = f.reproducibility;
    QString out;
    out += cells(QStringLiteral("Reproducibility (random)"),
                 r.byDose ? QStringLiteral("CV² = (%1)² + (%2 % · kGy / D)² of the response, %3 "
                                           "degrees of freedom: %4 at %5 kGy, %6 at %7 kGy")
                                .arg(pc(100 * r.a), QString::number(100 * r.b, 'g', 3))
                                .arg(r.dof)
                                .arg(pc(100 * r.cvAt(f.doseLo)), numberText(f.doseLo),
                                     pc(100 * r.cvAt(f.doseHi)), numberText(f.doseHi))
                          : QStringLiteral("pooled, %1 of the response, %2 degrees of freedom")
                                .arg(pc(100 * r.a))
                                .arg(r.dof));
    out += cells(QStringLiteral("Reference dose (systematic)"),
                 QStringLiteral("%1 at %2 kGy to %3 at %4 kGy, interpolated at the dose")
                     .arg(pc(f.referencePercentAt(f.doseLo)), numberText(f.doseLo),
                          pc(f.referencePercentAt(f.doseHi)), numberText(f.doseHi)));
    out += cells(QStringLiteral("Fit (random)"),
                 QStringLiteral("%1, %2 degrees of freedom")
                     .arg(f.weighted ? QStringLiteral("weighted by the reproducibility")
                                     : QStringLiteral("unweighted"))
                     .arg(f.fitDof));
    out += cells(QStringLiteral("Coverage factor"),
                 QStringLiteral("k from Student's t for 95.45 % at the Welch-Satterthwaite "
                                "degrees of freedom of each read"));
    return out;
}

QString recordBudgetCell(const Record& r) {
    if (recordValidity(r) != Validity::Valid)
        return QStringLiteral("-");
    return budgetLine(r.result).toHtmlEscaped();
}

} // namespace qvr::dose
