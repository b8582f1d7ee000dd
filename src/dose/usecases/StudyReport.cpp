#include "dose/usecases/StudyReport.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"
#include "dose/core/MappingText.h"
#include "dose/usecases/ReportHtml.h"

#include <QUuid>
#include <map>

namespace qvr::dose {

namespace {

QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : esc(text);
}

QString mm(const std::optional<double>& v) {
    return v ? numberText(*v) : QStringLiteral("-");
}

QString doseCell(const PositionDose* d) {
    if (!d)
        return QStringLiteral("no dose");
    const QString doubt = doubtText(*d);
    if (d->state == PositionState::NoDose)
        return doubt.isEmpty() ? QStringLiteral("no dose") : QStringLiteral("no dose: ") + doubt;
    QString text;
    if (d->state == PositionState::BelowRange)
        text = QStringLiteral("&lt; %1").arg(numberText(d->doseKGy));
    else if (d->state == PositionState::AboveRange)
        text = QStringLiteral("&gt; %1").arg(numberText(d->doseKGy));
    else
        text = valueWithU(d->doseKGy, d->expanded);
    if (!doubt.isEmpty())
        text += QStringLiteral(" (%1)").arg(doubt);
    return d->imported ? text + QStringLiteral(" *") : text;
}

QString studyTable(const StudyView& v, const QString& chainHead) {
    const MappingStudy& s = v.records.study;
    QStringList rows;
    rows << htmlRow({QStringLiteral("Study"), esc(s.id)})
         << htmlRow({QStringLiteral("Product"), orDash(s.product)})
         << htmlRow({QStringLiteral("Loading pattern"), orDash(s.loadingPattern)})
         << htmlRow({QStringLiteral("Irradiator"), orDash(s.irradiator)})
         << htmlRow({QStringLiteral("Source and path"), orDash(s.sourcePath)})
         << htmlRow({QStringLiteral("Process"), esc(processText(s))})
         << htmlRow({QStringLiteral("Dose limits"),
                     QStringLiteral("minimum required %1 kGy, maximum acceptable %2 kGy")
                         .arg(numberText(s.minRequiredKGy), numberText(s.maxAcceptableKGy))})
         << htmlRow({QStringLiteral("Runs"), QStringLiteral("%1 of %2 required")
                                                 .arg(QString::number(v.records.runs.size()),
                                                      QString::number(s.requiredRuns))})
         << htmlRow({QStringLiteral("Added"),
                     QStringLiteral("by %1 at %2").arg(esc(s.operatorName), when(s.createdAt))});
    rows << QStringLiteral("<tr><td colspan=\"2\">Chain head (qvr100dose verify --expect): "
                           "<br><tt>%1</tt></td></tr>")
                .arg(chainHead.isEmpty() ? QStringLiteral("-") : chainHead);
    return htmlTable({QStringLiteral("Item"), QStringLiteral("Value")}, rows, 30);
}

QString positionsTable(const StudyView& v) {
    QStringList rows;
    for (const MappingPosition& p : v.records.positions)
        rows << htmlRow({esc(p.id), orDash(p.layer), mm(p.xMm), mm(p.yMm), mm(p.zMm),
                         p.monitoring ? QStringLiteral("monitoring") : QString()});
    return htmlTable({QStringLiteral("Position"), QStringLiteral("Layer"), QStringLiteral("x mm"),
                      QStringLiteral("y mm"), QStringLiteral("z mm"), QStringLiteral("Role")},
                     rows);
}

// A row per position, a column per run, then the mean over the runs with its U.
QString dosesTable(const StudyView& v) {
    std::vector<std::map<QString, const PositionDose*>> byRun;
    for (const MappingRun& r : v.records.runs) {
        byRun.emplace_back();
        for (const PositionDose& d : r.doses)
            byRun.back()[d.position] = &d;
    }
    QStringList headers{QStringLiteral("Position")};
    for (const MappingRun& r : v.records.runs)
        headers << QStringLiteral("%1 kGy").arg(esc(r.id));
    headers << QStringLiteral("Mean ± U kGy (runs)");
    QStringList rows, sources;
    for (const MappingRun& r : v.records.runs)
        for (const PositionDose& d : r.doses)
            if (d.imported && !sources.contains(d.source))
                sources << d.source;
    std::map<QString, const PositionMean*> means;
    for (const PositionMean& m : v.summary.positions)
        means[m.position] = &m;
    // Every position, so one without any value is seen too.
    for (const MappingPosition& p : v.records.positions) {
        QStringList cells{esc(p.id)};
        for (const auto& at : byRun) {
            const auto d = at.find(p.id);
            cells << doseCell(d == at.end() ? nullptr : d->second);
        }
        const auto m = means.find(p.id);
        cells << (m != means.end() && m->second->n
                      ? QStringLiteral("%1 (%2)").arg(
                            valueWithU(m->second->mean, v.summary.coverage * m->second->uMean),
                            QString::number(m->second->n))
                      : QStringLiteral("-"));
        rows << htmlRow(cells);
    }
    QString h = htmlTable(headers, rows) + QStringLiteral("<p>%1</p>").arg(esc(doubtLegend()));
    if (!sources.isEmpty())
        h += QStringLiteral("<p>* imported, read by another system: %1.</p>")
                 .arg(esc(sources.join(QStringLiteral("; "))));
    return h;
}

QString runsTable(const StudyView& v) {
    QStringList rows;
    std::map<QString, const MappingRun*> runs;
    for (const MappingRun& r : v.records.runs)
        runs[r.id] = &r;
    for (const RunResult& r : v.summary.runs) {
        const MappingRun* run = runs[r.run];
        rows << htmlRow(
            {esc(r.run), esc(doseAtText(r.dmin, "<")), esc(doseAtText(r.dmax, ">")),
             r.dur ? valueWithU(*r.dur, r.uDur) : QStringLiteral("-"), esc(listText(r.missing)),
             run ? QStringLiteral("%1, %2").arg(esc(run->operatorName), when(run->createdAt))
                 : QStringLiteral("-")});
    }
    return htmlTable({QStringLiteral("Run"), QStringLiteral("Dmin ± U"), QStringLiteral("Dmax ± U"),
                      QStringLiteral("DUR ± U"), QStringLiteral("No valid dose"),
                      QStringLiteral("Added by")},
                     rows);
}

QString resultsTable(const MappingSummary& s) {
    QStringList rows;
    rows << htmlRow(
                {QStringLiteral("Minimum position (lowest mean)"), esc(doseAtText(s.dmin, "<"))})
         << htmlRow(
                {QStringLiteral("Maximum position (highest mean)"), esc(doseAtText(s.dmax, ">"))})
         << htmlRow({QStringLiteral("DUR = Dmax/Dmin"),
                     s.dur ? valueWithU(*s.dur, s.uDur) : QStringLiteral("-")})
         << htmlRow({QStringLiteral("Minimum zone"), esc(listText(s.minZone))})
         << htmlRow({QStringLiteral("Maximum zone"), esc(listText(s.maxZone))})
         << htmlRow({QStringLiteral("Coverage factor"),
                     QStringLiteral("k = %1").arg(numberText(s.coverage))});
    return htmlTable({QStringLiteral("Result"), QStringLiteral("Mean over the runs, U")}, rows, 35);
}

QString ratiosTable(const MappingSummary& s) {
    QStringList rows;
    for (const RatioResult& r : s.ratios)
        rows << htmlRow({esc(r.monitoring), QStringLiteral("Dmin/Dmon"),
                         valueWithU(r.meanMin, r.uMin), QString::number(r.sdMin, 'g', 2),
                         numberText(s.coverage), QString::number(r.runs)})
             << htmlRow({esc(r.monitoring), QStringLiteral("Dmax/Dmon"),
                         valueWithU(r.meanMax, r.uMax), QString::number(r.sdMax, 'g', 2),
                         numberText(s.coverage), QString::number(r.runs)});
    if (rows.isEmpty())
        return QStringLiteral("<p>No ratio: no run has valid doses at a monitoring position and "
                              "at the minimum and maximum positions.</p>");
    return htmlTable({QStringLiteral("Monitoring position"), QStringLiteral("Ratio"),
                      QStringLiteral("Mean ± U"), QStringLiteral("SD over the runs"),
                      QStringLiteral("k"), QStringLiteral("Runs")},
                     rows);
}

QString approvalBlock(const StudyView& v) {
    QString h;
    QStringList rows;
    for (const MappingApproval& a : v.records.approvals)
        rows << signatureRow(
            a.approved ? QStringLiteral("Approved") : QStringLiteral("Returned"), a.signature,
            a.approver, a.createdAt,
            a.approved
                ? QStringLiteral("%1: the study's results may release routine jobs%2")
                      .arg(esc(approvedStudyMeaning()),
                           a.reason.isEmpty() ? QString() : QStringLiteral(": ") + esc(a.reason))
                : orDash(a.reason));
    if (!rows.isEmpty())
        h += htmlTable({QStringLiteral("Signature"), QStringLiteral("Name"),
                        QStringLiteral("Date and time"), QStringLiteral("Meaning")},
                       rows);
    if (v.approved) {
        h += QStringLiteral("<p><b>Approved for routine monitoring.</b></p>");
    } else {
        h += QStringLiteral("<p><b>Not approved: routine jobs cannot use this study.</b></p>");
        if (v.records.study.training)
            h += QStringLiteral("<p>A training study is never approved.</p>");
    }
    if (!v.summary.blockers.isEmpty()) {
        QStringList items;
        for (const QString& b : v.summary.blockers)
            items << QStringLiteral("<li>%1</li>").arg(esc(b));
        h += QStringLiteral("<p>What blocks approval:</p><ul>%1</ul>").arg(items.join(QString()));
    }
    return h;
}

} // namespace

QString ratioUncertaintyText() {
    return QStringLiteral(
        "The systematic part of the dosimetry uncertainty (the reference doses of the "
        "calibration) is common to both doses of a ratio read with one calibration and cancels "
        "in the ratio. U of a ratio combines the random part of both doses with the run-to-run "
        "spread.");
}

Outcome<StudyView> loadStudy(Store& store, const QString& studyId) {
    auto records = store.mappingStudy(studyId);
    if (!records)
        return Failure{records.error()};
    StudyView v;
    v.summary = summarizeMapping(records->study, records->positions, records->runs);
    v.approved = isApproved(records->approvals);
    v.records = std::move(*records);
    return v;
}

Outcome<StudyReport> buildStudyReport(Store& store, const QString& studyId, const QDateTime& now) {
    auto view = loadStudy(store, studyId);
    if (!view)
        return Failure{view.error()};
    auto head = store.headHash();
    if (!head)
        return Failure{head.error()};
    const StudyView& v = *view;
    const MappingStudy& s = v.records.study;
    StudyReport report;
    report.chainHead = *head;
    report.id = QStringLiteral("QVR-MAP-%1-%2-%3")
                    .arg(s.id, now.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")),
                         QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper());
    report.title = QStringLiteral("Dose-mapping study %1").arg(s.id);

    QString h = QStringLiteral("<h2>%1</h2><p>Report id: <b>%2</b><br>Produced: %3</p>")
                    .arg(esc(report.title), esc(report.id), when(now));
    if (s.training)
        h += QStringLiteral("<p><b>TRAINING STUDY: never approved, not for routine use.</b></p>");
    h += studyTable(v, report.chainHead);
    h += QStringLiteral("<h3>Positions</h3>") + positionsTable(v);
    h += QStringLiteral("<h3>Doses by run</h3>") + dosesTable(v);
    h += QStringLiteral("<h3>Results per run</h3>") + runsTable(v);
    h += QStringLiteral("<h3>Results of the study</h3>") + resultsTable(v.summary);
    h += QStringLiteral("<h3>Ratios to the monitoring positions</h3>") + ratiosTable(v.summary) +
         QStringLiteral("<p>%1</p>").arg(esc(ratioUncertaintyText()));
    h += QStringLiteral("<h3>Heat maps</h3><p>A cell at each measured position, nothing "
                        "between them; the zones are outlined and tagged.</p>");
    report.maps.push_back(buildMappingMap(v.records.positions, v.records.runs, v.summary));
    for (const MappingRun& r : v.records.runs)
        report.maps.push_back(
            buildMappingMap(v.records.positions, v.records.runs, v.summary, r.id));
    for (std::size_t i = 0; i < report.maps.size(); ++i)
        // The caption under its map: a page break then never leaves it alone above one.
        h += QStringLiteral("<p><img src=\"heatmap-%2\"><br><b>Heat map, %1</b></p>")
                 .arg(esc(report.maps[i].choice), QString::number(i));
    h += QStringLiteral("<h3>Approval</h3>") + approvalBlock(v);
    report.html = h;
    return report;
}

} // namespace qvr::dose
