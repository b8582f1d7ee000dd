#include "dose/usecases/JobReport.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"
#include "dose/core/FlagLegend.h"
#include "dose/core/JobSummary.h"
#include "dose/core/MappingText.h"
#include "dose/usecases/BudgetTables.h"
#include "dose/usecases/CalibrationImport.h"
#include "dose/usecases/JobRecords.h"
#include "dose/usecases/ReportHtml.h"
#include "dose/usecases/UsableCalibration.h"

#include <QUuid>
#include <map>
#include <set>

namespace qvr::dose {

namespace {

// Films read at both wavelengths: each wavelength's dose, their agreement and the rule.
QString bothWavelengthsSection(const std::vector<Record>& latest) {
    QStringList rows;
    for (const Record& r : latest) {
        if (!r.second)
            continue;
        const QStringList each = wavelengthLines(r);
        rows << htmlRow({esc(r.dosimeter), QStringLiteral("%1 v%2").arg(r.id).arg(r.version),
                         esc(each.value(0)), esc(each.value(1)), esc(agreementText(r))});
    }
    if (rows.isEmpty())
        return {};
    return QStringLiteral("<h3>Both wavelengths</h3>") +
           htmlTable({QStringLiteral("Dosimeter"), QStringLiteral("Record"),
                      QStringLiteral("First wavelength"), QStringLiteral("Second wavelength"),
                      QStringLiteral("Agreement")},
                     rows) +
           QStringLiteral("<p>%1</p>").arg(esc(consistencyRule()));
}

// A routine job's study, the ratios its reads used and what each read infers, judged against the
// study's doses.
QString routineSection(const RoutineSummary& s, const std::vector<Record>& latest) {
    const MappingStudy& st = s.study;
    const RatioResult& q = s.ratio;
    auto ratio = [&](double mean, double u) {
        return q.runs > 0 ? valueWithU(mean, u) : QStringLiteral("none");
    };
    QStringList facts;
    facts << htmlRow({QStringLiteral("Study"), esc(st.id)})
          << htmlRow({QStringLiteral("Product"),
                      esc(st.product.isEmpty() ? QStringLiteral("-") : st.product)})
          << htmlRow({QStringLiteral("Loading pattern"),
                      esc(st.loadingPattern.isEmpty() ? QStringLiteral("-") : st.loadingPattern)})
          << htmlRow({QStringLiteral("Process"),
                      esc(numberText(st.processValue) + QLatin1Char(' ') + st.processUnit)})
          << htmlRow({QStringLiteral("Approved"),
                      s.approval.approved
                          ? QStringLiteral("by %1 at %2")
                                .arg(esc(s.approval.approver), when(s.approval.createdAt))
                          : QStringLiteral("not approved")})
          << htmlRow({QStringLiteral("Monitoring position"), esc(q.monitoring)})
          << htmlRow({QStringLiteral("Ratios used (k = %1)").arg(numberText(kMappingCoverage)),
                      QStringLiteral("Dmin/Dmon %1, Dmax/Dmon %2 over %3 runs")
                          .arg(ratio(q.meanMin, q.uMin), ratio(q.meanMax, q.uMax),
                               QString::number(q.runs))})
          << htmlRow({QStringLiteral("Dose limits"),
                      QStringLiteral("minimum required %1 kGy, maximum acceptable %2 kGy")
                          .arg(numberText(st.minRequiredKGy), numberText(st.maxAcceptableKGy))});
    QStringList rows;
    for (const Record& r : latest) {
        const RecordInference i = inferRecord(r, s);
        const QString record = QStringLiteral("%1 v%2").arg(r.id).arg(r.version);
        if (!i.inferred) {
            rows << QStringLiteral("<tr><td>%1</td><td>%2</td><td colspan=\"4\">no inferred "
                                   "dose: %3</td></tr>")
                        .arg(esc(r.dosimeter), record, esc(i.why));
            continue;
        }
        const InferredDoses& d = *i.inferred;
        rows << htmlRow({esc(r.dosimeter), record, valueWithU(r.result.dose, r.result.expanded),
                         valueWithU(d.dminKGy, d.uDminKGy), valueWithU(d.dmaxKGy, d.uDmaxKGy),
                         decisionWords(d.decision)});
    }
    return QStringLiteral("<h3>Routine monitoring</h3>") +
           htmlTable({QStringLiteral("Item"), QStringLiteral("Value")}, facts, 30) +
           QStringLiteral("<p>Each valid read at the monitoring position gives the product's "
                          "Dmin and Dmax through the study's ratios; their U (k = %1) combines the "
                          "ratio's with the whole of the read's.</p>")
               .arg(numberText(kMappingCoverage)) +
           htmlTable({QStringLiteral("Dosimeter"), QStringLiteral("Record"),
                      QStringLiteral("Dose ± U, kGy"), QStringLiteral("Inferred Dmin ± U, kGy"),
                      QStringLiteral("Inferred Dmax ± U, kGy"), QStringLiteral("Decision")},
                     rows) +
           QStringLiteral("<p><b>Routine decision: %1</b> against minimum required %2 kGy and "
                          "maximum acceptable %3 kGy.</p>")
               .arg(decisionWords(s.decision), numberText(st.minRequiredKGy),
                    numberText(st.maxAcceptableKGy));
}

// Who accepted the calibrations, performed the reads, corrected and reviewed them, when, and
// what each signature means.
QString signatureBlock(const QStringList& operators, const QDateTime& first, const QDateTime& last,
                       const std::vector<Fit>& fitsUsed, const std::vector<Record>& all,
                       const std::vector<Review>& reviews, bool training) {
    QStringList rows;
    for (const Fit& f : fitsUsed)
        rows << signatureRow(QStringLiteral("Accepted calibration"), f.signature, f.operatorName,
                             f.createdAt,
                             QStringLiteral("%1: fit %2 of calibration %3, which gave these doses")
                                 .arg(esc(acceptedCalibrationMeaning()), QString::number(f.id),
                                      QString::number(f.calibrationId)));
    rows << htmlRow(
        {QStringLiteral("Performed"),
         esc(operators.isEmpty() ? QStringLiteral("-") : operators.join(QStringLiteral(", "))),
         QStringLiteral("%1 to %2").arg(when(first), when(last)),
         QStringLiteral("read these dosimeters as recorded above")});
    for (const Record& r : all)
        if (r.version > 1)
            rows << signatureRow(QStringLiteral("Corrected"), r.signature, r.operatorName,
                                 r.createdAt,
                                 QStringLiteral("%1: record %2 v%3: %4")
                                     .arg(esc(correctedMeaning()), QString::number(r.id),
                                          QString::number(r.version), esc(r.reason)));
    if (reviews.empty())
        rows << htmlRow({QStringLiteral("Reviewed"), QStringLiteral("not reviewed"),
                         QStringLiteral("-"),
                         training ? QStringLiteral("a training job is never approved")
                                  : QStringLiteral("no review yet: not for release")});
    for (const Review& v : reviews)
        rows << signatureRow(v.approved ? QStringLiteral("Reviewed and approved")
                                        : QStringLiteral("Reviewed and returned"),
                             v.signature, v.reviewer, v.createdAt,
                             v.approved
                                 ? QStringLiteral("%1: checked the reads and the decision and "
                                                  "approves them for release")
                                       .arg(esc(reviewMeaning(true)))
                                 : QStringLiteral("%1: the job goes back to its readers: %2")
                                       .arg(esc(reviewMeaning(false)), esc(v.reason)));
    return QStringLiteral("<h3>Signatures</h3><p>Reads are attributed to the login that made "
                          "them; accepting a calibration, correcting a record and a review are "
                          "signed with the signer's password, checked by the system at that "
                          "moment. The meaning says what each signs.</p>") +
           htmlTable({QStringLiteral("Signature"), QStringLiteral("Name"),
                      QStringLiteral("Date and time"), QStringLiteral("Meaning")},
                     rows);
}

} // namespace

Outcome<JobReport> buildJobReport(Store& store, const QString& jobId, const QDateTime& now) {
    auto records = jobRecords(store, jobId);
    if (!records)
        return Failure{records.error()};
    const Job* job = &records->job;
    const std::vector<Record>* all = &records->records;
    auto reviews = store.reviews(job->id);
    if (!reviews)
        return Failure{reviews.error()};
    auto checks = store.checks();
    if (!checks)
        return Failure{checks.error()};
    auto head = store.headHash();
    if (!head)
        return Failure{head.error()};

    JobReport report;
    report.chainHead = *head;
    report.id = QStringLiteral("QVR-%1-%2-%3")
                    .arg(job->id, now.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")),
                         QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper());
    report.title = QStringLiteral("Dose report of job %1").arg(job->id);
    const std::vector<Record> latest = latestVersions(*all);
    const JobSummary summary = summarize(*job, *all);

    QString h;
    h += QStringLiteral("<h2>%1</h2>").arg(esc(report.title));
    h += QStringLiteral("<p>Report id: <b>%1</b><br>Produced: %2</p>")
             .arg(esc(report.id), when(now));
    if (job->training)
        h += QStringLiteral("<p><b>TRAINING JOB: results are not for release.</b></p>");

    QStringList head2;
    head2 << htmlRow({QStringLiteral("Job"), esc(job->id)})
          << htmlRow({QStringLiteral("Product"),
                      esc(job->product.isEmpty() ? QStringLiteral("-") : job->product)})
          << htmlRow(
                 {QStringLiteral("Dose limits"),
                  job->routine()
                      ? QStringLiteral("the study's: see Routine monitoring")
                      : QStringLiteral("Dmin %1, Dmax %2")
                            .arg(job->dminKGy ? numberText(*job->dminKGy) + QStringLiteral(" kGy")
                                              : QStringLiteral("not set"),
                                 job->dmaxKGy ? numberText(*job->dmaxKGy) + QStringLiteral(" kGy")
                                              : QStringLiteral("not set"))});
    head2 << htmlRow({QStringLiteral("Decision rule"),
                      job->rule == DecisionRule::Guarded
                          ? QStringLiteral("guarded (w = U)")
                          : QStringLiteral("simple acceptance (the lab's choice for this job)")});
    std::set<qint64> calibrations;
    std::set<std::pair<QString, int>> readers, simulated;
    std::map<qint64, std::optional<Fit>> fits;
    std::map<qint64, std::set<int>> versionsUsed; // by calibration
    for (const Record& r : *all) {
        calibrations.insert(r.calibrationId);
        versionsUsed[r.calibrationId].insert(std::max(1, r.calibrationVersion));
        readers.insert({r.headSerial, r.wavelengthNm});
        if (r.simulated)
            simulated.insert({r.headSerial, r.wavelengthNm});
        if (r.second) {
            calibrations.insert(r.second->calibrationId);
            versionsUsed[r.second->calibrationId].insert(std::max(1, r.second->calibrationVersion));
            readers.insert({r.headSerial, r.second->wavelengthNm});
            if (r.simulated)
                simulated.insert({r.headSerial, r.second->wavelengthNm});
        }
        if (!fits.count(r.fitId)) {
            auto f = store.fit(r.fitId);
            fits[r.fitId] = f ? std::optional<Fit>(*f) : std::nullopt;
        }
    }
    auto resultOf = [&](const Record& r) {
        const auto& f = fits[r.fitId];
        return esc(recordResultText(r, f ? &*f : nullptr));
    };
    for (qint64 id : calibrations) {
        auto c = store.calibration(id);
        if (!c)
            return Failure{c.error()};
        QString fitText = QStringLiteral("not fitted");
        if (auto f = store.latestFit(id))
            fitText = QStringLiteral("fit %1, model %2, calibrated range %3 to %4 kGy, %5")
                          .arg(f->id)
                          .arg(modelName(f->model), numberText(f->doseLo), numberText(f->doseHi),
                               f->acceptance.accepted ? QStringLiteral("accepted")
                                                      : QStringLiteral("rejected"));
        QString batchText = esc(c->batchId);
        if (auto b = store.batch(c->batchId))
            batchText +=
                QStringLiteral(", nominal thickness %1 µm").arg(numberText(b->thicknessUm)) +
                (b->amendments.empty() ? QString()
                                       : QStringLiteral("; version %1: %2")
                                             .arg(QString::number(b->version),
                                                  esc(amendmentLine(b->amendments.back()))));
        head2 << htmlRow({QStringLiteral("Batch"), batchText})
              << htmlRow(
                     {QStringLiteral("Calibration %1").arg(id),
                      QStringLiteral("%1; certificate %2; valid until %3; head %4 at %5 nm%6")
                          .arg(fitText,
                               esc(c->certificate.isEmpty() ? QStringLiteral("none")
                                                            : c->certificate),
                               c->validUntil.isValid() ? dateText(c->validUntil)
                                                       : QStringLiteral("none"),
                               esc(c->headSerial), QString::number(c->wavelengthNm),
                               trainingOnlyText(*c) ? QStringLiteral(" <b>(not traceable: training "
                                                                     "only)</b>")
                                                    : QString())});
        if (!c->amendments.empty()) {
            // What was added later, and which version the reads used.
            QStringList used;
            for (int v : versionsUsed[id])
                used << QString::number(v);
            QStringList later;
            for (const Amendment& a : c->amendments)
                later << esc(amendmentLine(a));
            head2 << htmlRow({QStringLiteral("Calibration %1 versions").arg(id),
                              QStringLiteral("now %1; the reads used version %2. %3")
                                  .arg(QString::number(c->version), used.join(QStringLiteral(", ")),
                                       later.join(QStringLiteral("<br>")))});
        }
        if (auto f = store.latestFit(id))
            head2 << calibrationBudgetRows(*f);
        if (auto plan = coverageCheckPlan(store, id))
            head2 << coverageRow(
                plan->fit, runCoverageCheck(*plan, kReportCoverageTrials, kReportCoverageSeed),
                kReportCoverageTrials, kReportCoverageSeed);
    }
    for (const auto& [sn, nm] : readers) {
        const auto check = lastPassingCheck(*checks, sn, nm, now);
        const QString sim = simulated.count({sn, nm})
                                ? QStringLiteral(" <b>(simulated head: no film was read)</b>")
                                : QString();
        head2 << htmlRow({QStringLiteral("Reader"), QStringLiteral("head serial %1 at %2 nm%3")
                                                        .arg(esc(sn), QString::number(nm), sim)})
              << htmlRow({QStringLiteral("Last reader check"),
                          check ? QStringLiteral("passed %1 (filters %2, certificate %3)")
                                          .arg(when(check->createdAt),
                                               QString::number(check->filters.size()),
                                               esc(check->certificate)) +
                                      (sim.isEmpty() ? QString()
                                                     : QStringLiteral(" (on the simulated head)"))
                                : QStringLiteral("none recorded")});
    }
    // On the first page, where an assessor looks for it, and in one row that no page break splits.
    // Across the table so the hash stays on one line, whole for copying.
    head2 << QStringLiteral("<tr><td colspan=\"2\">Chain head (qvr100dose verify --expect): "
                            "<br><tt>%1</tt></td></tr>")
                 .arg(report.chainHead.isEmpty() ? QStringLiteral("-") : report.chainHead);
    h += htmlTable({QStringLiteral("Item"), QStringLiteral("Value")}, head2, 30);

    h += QStringLiteral("<h3>Reads</h3>");
    QStringList reads;
    bool recomputed = false;
    for (const Record& r : latest) {
        const QStringList flags = currentFlags(r, *job);
        recomputed |= flags != r.flags;
        reads << htmlRow(
            {esc(r.dosimeter), QString::number(r.reread + 1),
             QStringLiteral("%1 v%2").arg(r.id).arg(r.version), when(r.readAt),
             QString::number(r.absorbance, 'f', 3), numberText(r.thicknessUm), resultOf(r),
             esc(flags.isEmpty() ? QStringLiteral("-") : flags.join(QLatin1Char(' '))) +
                 (flags != r.flags
                      ? QStringLiteral(" (recorded: %1)").arg(esc(r.flags.join(QLatin1Char(' '))))
                      : QString()),
             esc(r.operatorName) +
                 (r.version > 1
                      ? QStringLiteral(" (v%1: %2)").arg(QString::number(r.version), esc(r.reason))
                      : QString())});
    }
    h += htmlTable({QStringLiteral("Dosimeter"), QStringLiteral("Read"), QStringLiteral("Record"),
                    QStringLiteral("Time"), QStringLiteral("A"), QStringLiteral("t µm"),
                    QStringLiteral("Dose ± U, kGy (k)"), QStringLiteral("Flags"),
                    QStringLiteral("Operator")},
                   reads);
    h += bothWavelengthsSection(latest);
    if (records->routine)
        h += routineSection(*records->routine, latest);
    QStringList budgets;
    for (const Record& r : latest)
        budgets << htmlRow({esc(r.dosimeter), QStringLiteral("%1 v%2").arg(r.id).arg(r.version),
                            recordBudgetCell(r)});
    h += QStringLiteral("<h3>Uncertainty of each read</h3>") +
         htmlTable(
             {QStringLiteral("Dosimeter"), QStringLiteral("Record"), QStringLiteral("Components")},
             budgets);
    if (recomputed)
        h += QStringLiteral("<p>Flags are those the job's decision rule gives now; where a "
                            "read's recorded flags differ they follow in brackets.</p>");
    QStringList earlier;
    for (size_t i = 0; i + 1 < all->size(); ++i) {
        const Record& r = (*all)[i];
        const Record& next = (*all)[i + 1];
        if (next.id != r.id)
            continue;
        earlier << htmlRow(
            {esc(r.dosimeter), QStringLiteral("%1 v%2").arg(r.id).arg(r.version), resultOf(r),
             esc(r.flags.join(QLatin1Char(' '))),
             QStringLiteral("v%1 by %2 at %3: %4")
                 .arg(next.version)
                 .arg(esc(next.operatorName), when(next.createdAt), esc(next.reason))});
    }
    if (!earlier.isEmpty()) {
        h += QStringLiteral("<h3>Corrections: the original values, who replaced them, when and "
                            "why</h3>");
        h += htmlTable({QStringLiteral("Dosimeter"), QStringLiteral("Record"),
                        QStringLiteral("Original dose ± U, kGy (k)"),
                        QStringLiteral("Flags as recorded"), QStringLiteral("Replaced by")},
                       earlier);
    }

    h += QStringLiteral("<h3>Decision</h3>");
    QStringList sums;
    for (const DosimeterSummary& d : summary.dosimeters)
        sums << htmlRow({esc(d.dosimeter), QStringLiteral("%1 of %2").arg(d.n).arg(d.reads),
                         d.n ? doseAndU(d.dose, d.expanded, d.coverage) : QStringLiteral("-"),
                         esc(d.flags.join(QLatin1Char(' '))), decisionWords(d.decision)});
    h += htmlTable({QStringLiteral("Dosimeter"), QStringLiteral("n counted"),
                    QStringLiteral("Mean dose"), QStringLiteral("Flags"),
                    QStringLiteral("Decision")},
                   sums);
    if (records->routine)
        h += QStringLiteral("<p><b>Job decision: %1</b>, the worst of its reads' inferred doses "
                            "against the study's (see Routine monitoring).</p>")
                 .arg(decisionWords(records->routine->decision));
    else
        h += QStringLiteral("<p><b>Job decision: %1.</b></p><p>%2</p>")
                 .arg(decisionWords(summary.decision), esc(decisionRule(*job)));

    QDateTime first, last;
    for (const Record& r : latest) {
        if (!first.isValid() || r.readAt < first)
            first = r.readAt;
        if (!last.isValid() || r.readAt > last)
            last = r.readAt;
    }
    QStringList people;
    people << htmlRow(
                  {QStringLiteral("Operator"),
                   esc(summary.operators.isEmpty() ? QStringLiteral("-")
                                                   : summary.operators.join(QStringLiteral(", ")))})
           << htmlRow({QStringLiteral("Read"),
                       QStringLiteral("%1 to %2").arg(when(first), when(last))});
    if (reviews->empty())
        people << htmlRow({QStringLiteral("Reviewer"), QStringLiteral("not reviewed")});
    for (const Review& v : *reviews)
        people << htmlRow(
            {QStringLiteral("Reviewer"),
             QStringLiteral("%1 %2 at %3%4")
                 .arg(v.approved ? QStringLiteral("approved by") : QStringLiteral("returned by"),
                      esc(v.reviewer), when(v.createdAt),
                      v.reason.isEmpty() ? QString() : QStringLiteral(": ") + esc(v.reason))});
    h += QStringLiteral("<h3>People and times</h3>") +
         htmlTable({QStringLiteral("Role"), QStringLiteral("Who / when")}, people);
    // The fits that gave the doses reported, each once.
    std::vector<Fit> fitsUsed;
    std::set<qint64> fitIds;
    for (const Record& r : latest) {
        fitIds.insert(r.fitId);
        if (r.second)
            fitIds.insert(r.second->fitId);
    }
    for (qint64 id : fitIds) {
        auto f = store.fit(id);
        if (!f)
            return Failure{f.error()};
        fitsUsed.push_back(*f);
    }
    h += signatureBlock(summary.operators, first, last, fitsUsed, *all, *reviews, job->training);

    QStringList legend;
    for (const FlagMeaning& m : flagLegend())
        legend << htmlRow({m.flag, esc(m.meaning)});
    h += QStringLiteral("<h3>Flags</h3><p>Colours in the window: %1.</p>").arg(esc(toneLegend())) +
         htmlTable({QStringLiteral("Flag"), QStringLiteral("Meaning")}, legend);
    report.html = h;
    return report;
}

} // namespace qvr::dose
