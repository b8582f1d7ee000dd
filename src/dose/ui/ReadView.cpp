#include "dose/ui/ReadView.h"

#include "dose/core/Canonical.h"
#include "dose/core/DoseText.h"
#include "dose/core/DualRecord.h"
#include "dose/core/FlagLegend.h"
#include "dose/core/JobSummary.h"
#include "dose/core/MappingText.h"
#include "dose/core/Quantity.h"
#include "dose/core/RoutineJob.h"
#include "dose/ui/CalibrationChoice.h"
#include "dose/ui/Tones.h"
#include "dose/usecases/MappingRead.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <map>

namespace qvr::dose {

namespace {

// A routine job's reads as the product's inferred Dmin and Dmax beside the monitoring dose,
// quoting the study and the ratios used.
QString routineText(Store& store, const Job& job, const std::vector<Record>& all) {
    auto study = store.mappingStudy(job.studyId);
    if (!study)
        return QStringLiteral("Job %1: %2").arg(job.id, study.error());
    const RoutineSummary s = summarizeRoutine(job, *study, all);
    QStringList lines;
    lines << QStringLiteral("Job %1: %2. Routine: study %3 (approved by %4), %5 at %6; "
                            "Dmin/Dmon %7, Dmax/Dmon %8 over %9 runs")
                 .arg(job.id, decisionWords(s.decision), s.study.id, s.approval.approver,
                      job.monitoringPosition,
                      numberText(job.processValue) + QLatin1Char(' ') + job.processUnit,
                      valueWithU(s.ratio.meanMin, s.ratio.uMin),
                      valueWithU(s.ratio.meanMax, s.ratio.uMax), QString::number(s.ratio.runs));
    for (const RoutineRead& r : s.reads)
        lines << QStringLiteral("%1: %2 kGy -> Dmin %3 kGy, Dmax %4 kGy (k = %5): %6 against %7 "
                                "to %8 kGy")
                     .arg(r.dosimeter, valueWithU(r.doseKGy, r.expanded),
                          valueWithU(r.inferred.dminKGy, r.inferred.uDminKGy),
                          valueWithU(r.inferred.dmaxKGy, r.inferred.uDmaxKGy),
                          numberText(r.inferred.coverage), decisionWords(r.inferred.decision),
                          numberText(s.study.minRequiredKGy), numberText(s.study.maxAcceptableKGy));
    return lines.join(QLatin1Char('\n'));
}

QTableWidget* table(const QStringList& headers, QWidget* parent) {
    auto* t = new QTableWidget(0, headers.size(), parent);
    t->setHorizontalHeaderLabels(headers);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

constexpr int kDoseColumn = 3; // of the reads table
constexpr int kFlagsColumn = 6;

void setRow(QTableWidget* t, int row, const QStringList& cells, Tone tone) {
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setBackground(toneColour(tone));
        item->setForeground(toneTextColour(tone));
        item->setData(Qt::UserRole, static_cast<int>(tone));
        t->setItem(row, c, item);
    }
}

} // namespace

ReadView::ReadView(Store& store, CaptureSession& session, QWidget* parent)
    : QWidget(parent), store_(store), session_(session) {
    auto* form = new QFormLayout;
    job_ = new QComboBox(this);
    job_->setObjectName(QStringLiteral("job"));
    run_ = new QComboBox(this);
    run_->setObjectName(QStringLiteral("mappingRun"));
    run_->setToolTip(QStringLiteral("A mapping run to read a dosimeter of, instead of the job's"));
    position_ = new QComboBox(this);
    position_->setObjectName(QStringLiteral("mappingPosition"));
    calibration_ = new QComboBox(this);
    calibration_->setObjectName(QStringLiteral("calibration"));
    batch_ = new QLabel(this);
    dosimeter_ = new QLineEdit(this);
    dosimeter_->setObjectName(QStringLiteral("dosimeter"));
    dosimeter_->setPlaceholderText(QStringLiteral("type or scan the id"));
    thickness_ = new QDoubleSpinBox(this);
    thickness_->setRange(0, kThicknessUm.hi);
    thickness_->setDecimals(1);
    thickness_->setSuffix(QStringLiteral(" µm"));
    thickness_->setSpecialValueText(QStringLiteral("batch nominal"));
    form->addRow(QStringLiteral("&Job"), job_);
    form->addRow(QStringLiteral("Mapping r&un"), run_);
    form->addRow(QStringLiteral("P&osition"), position_);
    form->addRow(QStringLiteral("C&alibration"), calibration_);
    form->addRow(QStringLiteral("Batch"), batch_);
    form->addRow(QStringLiteral("&Dosimeter"), dosimeter_);
    thicknessConfirmed_ = new QCheckBox(QStringLiteral("con&firmed"), this);
    thicknessConfirmed_->setObjectName(QStringLiteral("thicknessConfirmed"));
    thicknessConfirmed_->setToolTip(
        QStringLiteral("The gauge thickness is meant although it is more than 20 % from the "
                       "batch's nominal thickness."));
    auto* thicknessRow = new QHBoxLayout;
    thicknessRow->addWidget(thickness_, 1);
    thicknessRow->addWidget(thicknessConfirmed_);
    // A row of several widgets has no buddy of its own: the label names the spin box.
    auto* thicknessLabel = new QLabel(QStringLiteral("&Thickness"), this);
    thicknessLabel->setBuddy(thickness_);
    form->addRow(thicknessLabel, thicknessRow);

    automatic_ = new QCheckBox(QStringLiteral("Capture by it&self when stable:"), this);
    automatic_->setChecked(session_.automatic());
    count_ = new QSpinBox(this);
    count_->setRange(2, 50);
    count_->setValue(session_.stableRule().count);
    count_->setSuffix(QStringLiteral(" readings"));
    band_ = new QDoubleSpinBox(this);
    band_->setRange(0, 0.05);
    band_->setDecimals(3);
    band_->setSingleStep(0.001);
    band_->setValue(session_.stableRule().band);
    band_->setPrefix(QStringLiteral("within "));
    auto* rule = new QHBoxLayout;
    rule->addWidget(automatic_);
    rule->addWidget(count_);
    rule->addWidget(band_);
    rule->addStretch();
    form->addRow(QStringLiteral("Capture"), rule);

    capture_ = new QPushButton(QStringLiteral("&Capture (F2)"), this);
    capture_->setObjectName(QStringLiteral("capture"));
    hint_ = new QLabel(this);
    hint_->setWordWrap(true);
    warning_ = new QLabel(this);
    warning_->setWordWrap(true);
    warning_->setMargin(3);
    paintTone(warning_, Tone::Caution);
    warning_->hide();
    auto* action = new QHBoxLayout;
    action->addWidget(capture_);
    action->addWidget(hint_, 1);

    reads_ = table({QStringLiteral("Dosimeter"), QStringLiteral("Read"), QStringLiteral("A"),
                    QStringLiteral("Dose kGy"), QStringLiteral("U kGy"), QStringLiteral("k"),
                    QStringLiteral("Flags"), QStringLiteral("Read at")},
                   this);
    // The flags take the spare width, so they are read rather than elided.
    reads_->horizontalHeader()->setStretchLastSection(false);
    reads_->horizontalHeader()->setSectionResizeMode(kFlagsColumn, QHeaderView::Stretch);
    summary_ =
        table({QStringLiteral("Dosimeter"), QStringLiteral("n"), QStringLiteral("Mean dose kGy"),
               QStringLiteral("U kGy"), QStringLiteral("k"), QStringLiteral("Decision")},
              this);
    decision_ = new QLabel(this);
    decision_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(warning_);
    layout->addLayout(action);
    auto* readsLabel = new QLabel(QStringLiteral("Reads of this job"), this);
    auto* summaryLabel =
        new QLabel(QStringLiteral("Job summary (mean of the reads that count)"), this);
    layout->addWidget(readsLabel);
    layout->addWidget(reads_, 2);
    layout->addWidget(summaryLabel);
    layout->addWidget(summary_, 1);
    layout->addWidget(decision_);
    layout->addStretch(); // under the form alone while a run is read
    jobParts_ = {readsLabel, reads_, summaryLabel, summary_, decision_};
    setTabOrder(job_, calibration_);
    setTabOrder(calibration_, dosimeter_);
    setTabOrder(dosimeter_, thickness_);
    setTabOrder(thickness_, capture_);

    connect(job_, &QComboBox::currentIndexChanged, this, &ReadView::choose);
    connect(calibration_, &QComboBox::currentIndexChanged, this, &ReadView::choose);
    connect(dosimeter_, &QLineEdit::textChanged, this, &ReadView::updateDosimeter);
    connect(dosimeter_, &QLineEdit::returnPressed, thickness_, [this] {
        thickness_->setFocus();
        thickness_->selectAll();
    });
    connect(thickness_, &QDoubleSpinBox::valueChanged, this, &ReadView::updateDosimeter);
    connect(thicknessConfirmed_, &QCheckBox::toggled, this, &ReadView::updateDosimeter);
    connect(automatic_, &QCheckBox::toggled, this, &ReadView::updateRule);
    connect(count_, &QSpinBox::valueChanged, this, &ReadView::updateRule);
    connect(band_, &QDoubleSpinBox::valueChanged, this, &ReadView::updateRule);
    connect(capture_, &QPushButton::clicked, this, &ReadView::capture);
    connect(run_, &QComboBox::currentIndexChanged, this, [this] {
        reloadPositions();
        choose();
    });
    connect(&session_, &CaptureSession::linkChanged, this, &ReadView::updateHint);
    connect(&session_, &CaptureSession::refused, this, [this](const QString& why) {
        lastRefusal_ = why;
        hint_->setText(QStringLiteral("Not captured: ") + why);
        paintTone(hint_, Tone::Bad);
    });
    connect(&session_, &CaptureSession::captured, this,
            [this](const Record& r, const QString&) { onCaptured(r); });
    connect(&session_, &CaptureSession::switchBackFailed, this, [this](const QString& why) {
        hint_->setText(hint_->text() + QStringLiteral(" The reader: ") + why);
        paintTone(hint_, Tone::Bad);
    });
}

void ReadView::reloadChoices(const QString& jobId, qint64 calibrationId) {
    const QSignalBlocker a(job_), b(calibration_);
    job_->clear();
    calibration_->clear();
    if (auto jobs = store_.jobs())
        for (const Job& j : *jobs)
            job_->addItem(j.id + (j.training ? QStringLiteral("  (training)") : QString()), j.id);
    if (auto calibrations = store_.calibrations())
        for (const Calibration& c : *calibrations)
            addCalibrationChoice(*calibration_, c);
    const int j = job_->findData(jobId);
    job_->setCurrentIndex(j >= 0 ? j : job_->count() - 1);
    const int c = calibration_->findData(calibrationId);
    calibration_->setCurrentIndex(c >= 0 ? c : calibration_->count() - 1);
    reloadRuns();
    choose();
}

// The runs of studies still open to reads; the first choice is the job.
void ReadView::reloadRuns() {
    const QString kept = run_->currentData().toString();
    const QSignalBlocker block(run_);
    run_->clear();
    run_->addItem(QStringLiteral("none: read for the job"), QString());
    if (auto studies = store_.mappingStudies())
        for (const MappingStudy& s : *studies) {
            auto r = store_.mappingStudy(s.id);
            if (!r || isApproved(r->approvals))
                continue;
            for (const MappingRun& run : r->runs)
                run_->addItem(
                    QStringLiteral("%1 (study %2%3)")
                        .arg(run.id, s.id, s.training ? QStringLiteral(", training") : QString()),
                    run.id);
        }
    run_->setCurrentIndex(std::max(0, run_->findData(kept)));
    reloadPositions();
}

// The run's study's positions, those read in the run marked: reading one again is refused.
void ReadView::reloadPositions() {
    const QString kept = position_->currentData().toString();
    const QSignalBlocker block(position_);
    position_->clear();
    const QString runId = run_->currentData().toString();
    position_->setEnabled(!runId.isEmpty());
    if (runId.isEmpty())
        return;
    auto study = store_.mappingStudyOfRun(runId);
    if (!study)
        return;
    std::map<QString, QString> read; // position: dosimeter
    for (const MappingRun& r : study->runs)
        if (r.id == runId)
            for (const PositionDose& d : r.doses)
                read[d.position] = d.dosimeter;
    for (const MappingPosition& p : study->positions)
        position_->addItem(
            read.count(p.id) ? QStringLiteral("%1  (read: %2)").arg(p.id, read[p.id]) : p.id, p.id);
    const int at = position_->findData(kept);
    position_->setCurrentIndex(at >= 0 ? at : 0);
}

bool ReadView::readingRun() const {
    return !run_->currentData().toString().isEmpty();
}

void ReadView::chooseRun(const QString& runId, const QString& position) {
    reloadRuns();
    run_->setCurrentIndex(std::max(0, run_->findData(runId)));
    const int at = position_->findData(position);
    if (at >= 0)
        position_->setCurrentIndex(at);
}

void ReadView::capture() {
    if (readingRun())
        readPosition();
    else
        session_.capture();
}

// Read as the command line's read --run reads: the same use case, rules and refusals.
void ReadView::readPosition() {
    MappingReadRequest req;
    req.runId = run_->currentData().toString();
    req.position = position_->currentData().toString();
    req.read.dosimeter = dosimeter_->text().trimmed();
    req.read.calibrationId = calibrationId();
    if (thickness_->value() > 0)
        req.read.thicknessUm = thickness_->value();
    req.read.thicknessConfirmed = thicknessConfirmed_->isChecked();
    req.read.readings = count_->value();
    req.read.operatorName = session_.operatorName();
    if (req.read.dosimeter.isEmpty()) {
        lastRefusal_ = QStringLiteral("Type or scan the dosimeter's id first.");
        updateHint();
        return;
    }
    auto read = readMappingDose(store_, session_.source(), req, session_.now());
    if (!read) {
        lastRefusal_ = QStringLiteral("Not read: ") + read.error();
        updateHint();
        return;
    }
    const PositionDose& d = read->dose;
    lastRefusal_.clear();
    reloadPositions();
    lastRead_ =
        QStringLiteral("Stored for run %1 at %2: dosimeter %3 (%4), %5; flags: %6. Take "
                       "the film out.")
            .arg(d.runId, d.position, d.dosimeter, positionStateName(d.state),
                 recordResultText(read->record, &read->fit),
                 d.flags.isEmpty() ? QStringLiteral("none") : d.flags.join(QStringLiteral(", ")));
    lastReadCounts_ = d.state == PositionState::Valid;
    hint_->setToolTip(flagsExplained(d.flags));
    updateHint();
    const QSignalBlocker block(dosimeter_);
    dosimeter_->clear();
    thickness_->setValue(0);
    thicknessConfirmed_->setChecked(false);
    focusDosimeter();
}

QString ReadView::jobId() const {
    return job_->currentData().toString();
}

qint64 ReadView::calibrationId() const {
    return calibration_->currentData().toLongLong();
}

void ReadView::setWarning(const QString& text) {
    warning_->setText(text);
    warning_->setVisible(!text.isEmpty());
}

void ReadView::focusDosimeter() {
    dosimeter_->setFocus();
    dosimeter_->selectAll();
}

void ReadView::choose() {
    lastRefusal_.clear();
    lastRead_.clear();
    hint_->setToolTip(QString());
    batch_->clear();
    job_->setEnabled(!readingRun());
    for (QWidget* w : jobParts_)
        w->setVisible(!readingRun());
    automatic_->setEnabled(!readingRun());
    capture_->setText(readingRun() ? QStringLiteral("Read &position (F2)")
                                   : QStringLiteral("&Capture (F2)"));
    updateDosimeter();
    if (job_->currentIndex() >= 0 && calibration_->currentIndex() >= 0) {
        if (auto chosen = session_.choose(jobId(), calibrationId()); !chosen)
            lastRefusal_ = chosen.error();
    }
    if (const Batch* b = session_.batch())
        batch_->setText(QStringLiteral("%1, nominal %2 µm (u %3 µm)")
                            .arg(b->id, numberText(b->thicknessUm), numberText(b->uThicknessUm)));
    showReads();
    updateHint();
    emit choiceChanged();
}

void ReadView::updateDosimeter() {
    const double t = thickness_->value();
    // Reading for a run, the job's session gets no dosimeter and so never captures the film.
    session_.setDosimeter(readingRun() ? QString() : dosimeter_->text(),
                          t > 0 ? std::optional<double>(t) : std::nullopt,
                          thicknessConfirmed_->isChecked());
    lastRefusal_.clear();
    updateHint();
}

void ReadView::updateRule() {
    session_.setAutomatic(automatic_->isChecked());
    session_.setStableRule({count_->value(), band_->value()});
    updateHint();
}

void ReadView::updateHint() {
    if (!lastRefusal_.isEmpty()) {
        hint_->setText(lastRefusal_);
        paintTone(hint_, Tone::Bad);
        return;
    }
    if (readingRun() && !lastRead_.isEmpty()) {
        hint_->setText(lastRead_);
        paintTone(hint_, lastReadCounts_ ? Tone::Good : Tone::Caution);
        return;
    }
    if (readingRun()) {
        hint_->setText(
            QStringLiteral("Reads the film at %1 of run %2 when you press Read "
                           "position.")
                .arg(position_->currentData().toString(), run_->currentData().toString()));
        paintTone(hint_, Tone::Off);
        return;
    }
    if (auto why = session_.blocker()) {
        hint_->setText(*why);
        paintTone(hint_, Tone::Off);
    } else {
        hint_->setText(session_.stable() ? QStringLiteral("stable: ready to capture")
                                         : QStringLiteral("settling..."));
        paintTone(hint_, session_.stable() ? Tone::Good : Tone::Busy);
    }
}

namespace {

// A read at both wavelengths: each one's dose and their agreement, after the film's dose.
QString bothWavelengthsText(const Record& r) {
    if (!r.second)
        return {};
    return QLatin1Char(' ') + wavelengthLines(r).join(QStringLiteral("; ")) + QStringLiteral("; ") +
           agreementText(r) + QLatin1Char('.');
}

} // namespace

void ReadView::onCaptured(const Record& r) {
    lastRefusal_.clear();
    showReads();
    const Fit* fit = session_.fit();
    hint_->setText(QStringLiteral("Captured %1: %2.%3 Take the film out.")
                       .arg(r.dosimeter,
                            fit ? recordResultText(r, fit)
                                : doseAndU(r.result.dose, r.result.expanded, r.result.coverage),
                            bothWavelengthsText(r)));
    if (session_.job())
        paintTone(hint_, recordTone(r, *session_.job()));
    const QSignalBlocker block(dosimeter_);
    dosimeter_->clear();
    thickness_->setValue(0);
    thicknessConfirmed_->setChecked(false); // confirmed for one film only
    session_.setDosimeter(QString());
    focusDosimeter();
}

void ReadView::showReads() {
    reads_->setRowCount(0);
    summary_->setRowCount(0);
    decision_->clear();
    const Job* job = session_.job();
    if (!job || readingRun())
        return;
    auto all = store_.records(job->id);
    if (!all)
        return;
    const std::vector<Record> latest = latestVersions(*all);
    reads_->setRowCount(static_cast<int>(latest.size()));
    std::map<qint64, std::optional<Fit>> fits;
    for (size_t i = 0; i < latest.size(); ++i) {
        const Record& r = latest[i];
        if (!fits.count(r.fitId)) {
            auto f = store_.fit(r.fitId);
            fits[r.fitId] = f ? std::optional<Fit>(*f) : std::nullopt;
        }
        const auto& fit = fits[r.fitId];
        const bool valid = recordValidity(r) == Validity::Valid;
        const RoundedDose d = roundedToU(r.result.dose, r.result.expanded);
        // Disagreeing doses are shown both, so the reader of the table sees by how much.
        const bool mismatch = r.flags.contains(kWavelengthMismatch);
        setRow(reads_, static_cast<int>(i),
               {r.dosimeter, QString::number(r.reread + 1), QString::number(r.absorbance, 'f', 3),
                valid      ? d.dose
                : mismatch ? wavelengthLines(r).join(QStringLiteral("; "))
                           : recordResultText(r, fit ? &*fit : nullptr),
                valid ? d.expanded : QStringLiteral("-"),
                valid ? coverageText(r.result.coverage) : QStringLiteral("-"),
                currentFlags(r, *job).join(QLatin1Char(' ')),
                r.readAt.toLocalTime().toString(QStringLiteral("HH:mm:ss"))},
               recordTone(r, *job));
    }
    for (size_t i = 0; i < latest.size(); ++i)
        if (latest[i].second)
            if (auto* item = reads_->item(static_cast<int>(i), kDoseColumn))
                item->setToolTip(bothWavelengthsText(latest[i]).trimmed());
    for (int row = 0; row < reads_->rowCount(); ++row)
        if (auto* item = reads_->item(row, kFlagsColumn))
            item->setToolTip(
                flagsExplained(item->text().split(QLatin1Char(' '), Qt::SkipEmptyParts)));
    reads_->scrollToBottom();
    const JobSummary s = summarize(*job, *all);
    summary_->setRowCount(static_cast<int>(s.dosimeters.size()));
    for (size_t i = 0; i < s.dosimeters.size(); ++i) {
        const DosimeterSummary& d = s.dosimeters[i];
        const RoundedDose mean = roundedToU(d.dose, d.expanded);
        setRow(summary_, static_cast<int>(i),
               {d.dosimeter, QStringLiteral("%1 of %2").arg(d.n).arg(d.reads),
                d.n ? mean.dose : QStringLiteral("-"), d.n ? mean.expanded : QStringLiteral("-"),
                d.n ? coverageText(d.coverage) : QStringLiteral("-"), decisionWords(d.decision)},
               decisionTone(d.decision));
    }
    decision_->setText(job->routine()
                           ? routineText(store_, *job, *all)
                           : QStringLiteral("Job %1: %2. %3")
                                 .arg(job->id, decisionWords(s.decision), decisionRule(*job)));
}

} // namespace qvr::dose
