#include "dose/ui/CalibrationView.h"

#include "dose/core/Canonical.h"
#include "dose/core/NiceScale.h"
#include "dose/ui/AmendmentDialog.h"
#include "dose/ui/BatchDialog.h"
#include "dose/ui/CalibrationChoice.h"
#include "dose/ui/Tones.h"
#include "dose/usecases/CalibrationFitting.h"
#include "dose/usecases/CalibrationImport.h"
#include "dose/usecases/RoleGate.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QMimeData>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <QValueAxis>

namespace qvr::dose {

namespace {

QChart* chart(const QString& title, const QString& x, const QString& y) {
    auto* c = new QChart;
    c->setTitle(title);
    c->legend()->hide();
    auto* ax = new QValueAxis(c);
    ax->setTitleText(x);
    auto* ay = new QValueAxis(c);
    ay->setTitleText(y);
    c->addAxis(ax, Qt::AlignBottom);
    c->addAxis(ay, Qt::AlignLeft);
    return c;
}

void plot(QChart* c, QXYSeries* s) {
    c->addSeries(s);
    for (QAbstractAxis* a : c->axes())
        s->attachAxis(a);
}

void toneRow(QTableWidget* table, int row, Tone tone) {
    for (int col = 0; col < table->columnCount(); ++col)
        if (auto* item = table->item(row, col)) {
            item->setBackground(toneColour(tone));
            item->setForeground(toneTextColour(tone));
        }
}

// Ticks at 1-2-5 steps from a whole tick: never at -0.3, 13.8, 27.8.
void niceAxis(QAbstractAxis* axis, double lo, double hi) {
    auto* a = qobject_cast<QValueAxis*>(axis);
    if (!a)
        return;
    const NiceScale s = niceScale(lo, hi);
    a->setRange(s.lo, s.hi);
    a->setTickType(QValueAxis::TicksDynamic);
    a->setTickAnchor(s.lo);
    a->setTickInterval(s.step);
    a->setLabelFormat(s.step >= 1      ? QStringLiteral("%.0f")
                      : s.step >= 0.1  ? QStringLiteral("%.1f")
                      : s.step >= 0.01 ? QStringLiteral("%.2f")
                                       : QStringLiteral("%.3f"));
}

// A little room around the data, so a point at the end of the range is not drawn on the frame.
void fitAxes(QChart* c, double x0, double x1, double y0, double y1) {
    const double dx = 0.03 * (x1 - x0), dy = 0.03 * (y1 - y0);
    niceAxis(c->axes(Qt::Horizontal).first(), x0 - (x0 >= 0 ? 0 : dx), x1 + dx);
    niceAxis(c->axes(Qt::Vertical).first(), y0 - (y0 >= 0 ? 0 : dy), y1 + dy);
}

} // namespace

CalibrationView::CalibrationView(Store& store, const CaptureSession& session, Signer* signer,
                                 QString operatorName, Now now, QWidget* parent)
    : QWidget(parent), store_(store), session_(session), signer_(signer),
      operator_(std::move(operatorName)), now_(std::move(now)) {
    setAcceptDrops(true);
    calibration_ = new QComboBox(this);
    batch_ = new QComboBox(this);
    batch_->setObjectName(QStringLiteral("batch"));
    model_ = new QComboBox(this);
    model_->addItems({QStringLiteral("auto"), QStringLiteral("poly1"), QStringLiteral("poly2"),
                      QStringLiteral("poly3"), QStringLiteral("poly4"), QStringLiteral("power")});
    auto* import = new QPushButton(QStringLiteral("&Import CSV..."), this);
    auto* addBatchButton = new QPushButton(QStringLiteral("Add &batch..."), this);
    auto* fitButton = new QPushButton(QStringLiteral("&Fit"), this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Calibration"), this));
    top->addWidget(calibration_, 1);
    top->addWidget(new QLabel(QStringLiteral("Model"), this));
    top->addWidget(model_);
    top->addWidget(fitButton);
    top->addSpacing(16);
    top->addWidget(new QLabel(QStringLiteral("Import for batch"), this));
    top->addWidget(batch_);
    top->addWidget(addBatchButton);
    top->addWidget(import);
    curve_ = chart(QStringLiteral("Dose against response"), QStringLiteral("response k (mm⁻¹)"),
                   QStringLiteral("dose (kGy)"));
    residuals_ = chart(QStringLiteral("Residuals"), QStringLiteral("reference dose (kGy)"),
                       QStringLiteral("residual (% of dose)"));
    auto* charts = new QHBoxLayout;
    for (QChart* c : {curve_, residuals_}) {
        auto* v = new QChartView(c, this);
        v->setRenderHint(QPainter::Antialiasing);
        v->setMinimumHeight(220);
        charts->addWidget(v);
    }
    fitTable_ = new QTableWidget(0, 2, this);
    fitTable_->setHorizontalHeaderLabels({QStringLiteral("Fit"), QStringLiteral("Value")});
    fitTable_->verticalHeader()->hide();
    fitTable_->horizontalHeader()->setStretchLastSection(true);
    fitTable_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    fitTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    coverageTable_ = new QTableWidget(0, 3, this);
    coverageTable_->setObjectName(QStringLiteral("coverage"));
    coverageTable_->setHorizontalHeaderLabels({QStringLiteral("Dose (kGy)"),
                                               QStringLiteral("U covers (%)"),
                                               QStringLiteral("U / error")});
    coverageTable_->verticalHeader()->hide();
    coverageTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    coverageTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    coverageTable_->setToolTip(QStringLiteral("Whether U propagates consistently from the "
                                              "calibration's stated components; not whether each "
                                              "component's size is right."));
    trials_ = new QSpinBox(this);
    trials_->setRange(10, 1000000);
    trials_->setValue(1000);
    trials_->setPrefix(QStringLiteral("simulations "));
    seed_ = new QSpinBox(this);
    seed_->setRange(0, 2147483647);
    seed_->setValue(1);
    seed_->setPrefix(QStringLiteral("seed "));
    checkButton_ = new QPushButton(QStringLiteral("Check &coverage"), this);
    auto* amendCalibration = new QPushButton(QStringLiteral("New &version..."), this);
    amendCalibration->setToolTip(QStringLiteral("A certificate or validity that came later, as a "
                                                "new version of the calibration"));
    auto* amendBatch = new QPushButton(QStringLiteral("New batch v&ersion..."), this);
    amendBatch->setToolTip(QStringLiteral("A background measured again, or its uncertainty, as "
                                          "a new version of the chosen batch"));
    auto* second = new QHBoxLayout;
    second->addWidget(amendCalibration);
    second->addWidget(amendBatch);
    second->addStretch(1);
    second->addWidget(trials_);
    second->addWidget(seed_);
    second->addWidget(checkButton_);
    auto* tables = new QHBoxLayout;
    tables->addWidget(fitTable_, 3);
    tables->addWidget(coverageTable_, 2);
    status_ = new QLabel(QStringLiteral("Drop a calibration CSV here to import it."), this);
    status_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(second);
    layout->addLayout(charts, 2);
    layout->addLayout(tables, 1);
    layout->addWidget(status_);
    connect(amendCalibration, &QPushButton::clicked, this, [this] { askAmendCalibration(); });
    connect(amendBatch, &QPushButton::clicked, this, [this] { askAmendBatch(); });
    connect(checkButton_, &QPushButton::clicked, this,
            [this] { checkCoverage(trials_->value(), static_cast<quint64>(seed_->value())); });

    connect(calibration_, &QComboBox::currentIndexChanged, this, [this] { show(current()); });
    connect(fitButton, &QPushButton::clicked, this, [this] { fit(); });
    connect(import, &QPushButton::clicked, this, [this] { askImport(); });
    connect(addBatchButton, &QPushButton::clicked, this, [this] { askBatch(); });
    reload();
}

void CalibrationView::askImport(QString path) {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("calibration import"))) {
        status_->setText(QStringLiteral("Nothing was imported: %1.").arg(*why));
        return;
    }
    if (path.isEmpty())
        path = QFileDialog::getOpenFileName(this, QStringLiteral("Import calibration"), QString(),
                                            QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    CalibrationImportDialog dialog(path, now_().date(), this);
    if (dialog.exec() == QDialog::Accepted)
        importCsv(dialog.file(), dialog.details());
}

void CalibrationView::askBatch() {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("batch add"))) {
        status_->setText(QStringLiteral("The batch was not added: %1.").arg(*why));
        return;
    }
    BatchDialog dialog(now_().date(), this);
    if (dialog.exec() == QDialog::Accepted)
        addBatch(dialog.batch());
}

Outcome<QString> CalibrationView::addBatch(Batch batch) {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("batch add"))) {
        status_->setText(QStringLiteral("The batch was not added: %1.").arg(*why));
        return Failure{*why};
    }
    batch.operatorName = operator_;
    auto added = store_.addBatch(batch);
    if (!added) {
        status_->setText(QStringLiteral("The batch was not added: %1.").arg(added.error()));
        return Failure{added.error()};
    }
    reload(current());
    batch_->setCurrentText(batch.id);
    status_->setText(QStringLiteral("Batch %1 added.").arg(batch.id));
    return batch.id;
}

CalibrationView::~CalibrationView() {
    // Its report would come back to a view that is gone.
    if (worker_) {
        worker_->wait();
        delete worker_;
    }
}

void CalibrationView::askAmendCalibration() {
    auto c = store_.calibration(current());
    if (!c) {
        status_->setText(QStringLiteral("Choose a calibration first."));
        return;
    }
    AmendmentDialog dialog(*c, now_().date(), this);
    if (dialog.exec() == QDialog::Accepted)
        amend(dialog.amendment());
}

void CalibrationView::askAmendBatch() {
    auto b = store_.batch(batch_->currentText());
    if (!b) {
        status_->setText(QStringLiteral("Choose a batch first."));
        return;
    }
    AmendmentDialog dialog(*b, this);
    if (dialog.exec() == QDialog::Accepted)
        amend(dialog.amendment());
}

Outcome<int> CalibrationView::amend(Amendment amendment) {
    if (auto why = actBlocker(store_, operator_, amendment.subject + QStringLiteral(" amend"))) {
        status_->setText(QStringLiteral("No new version was made: %1.").arg(*why));
        return Failure{*why};
    }
    amendment.operatorName = operator_;
    auto made = store_.amend(amendment);
    if (!made) {
        status_->setText(QStringLiteral("No new version was made: %1.").arg(made.error()));
        return Failure{made.error()};
    }
    reload(current());
    status_->setText(QStringLiteral("%1 %2 is now at version %3.")
                         .arg(amendment.subject == kCalibrationSubject
                                  ? QStringLiteral("Calibration")
                                  : QStringLiteral("Batch"),
                              amendment.subjectId)
                         .arg(made->id));
    emit changed();
    return static_cast<int>(made->id);
}

Outcome<Done> CalibrationView::checkCoverage(int trials, quint64 seed) {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("calibration check"))) {
        status_->setText(QStringLiteral("The coverage was not checked: %1.").arg(*why));
        return Failure{*why};
    }
    auto plan = coverageCheckPlan(store_, current());
    if (!plan) {
        status_->setText(QStringLiteral("The coverage was not checked: %1.").arg(plan.error()));
        return Failure{plan.error()};
    }
    if (worker_)
        return Failure{QStringLiteral("a coverage check is running")};
    checkButton_->setEnabled(false);
    coverageTable_->setRowCount(0);
    status_->setText(QStringLiteral("Checking the coverage of fit %1 with %2 simulated "
                                    "calibrations...")
                         .arg(plan->fit.id)
                         .arg(trials));
    // The simulation reads nothing from the store: it runs on its own thread, and its report
    // comes back to this one.
    auto* worker = QThread::create([this, p = *plan, trials, seed] {
        const CoverageReport report = runCoverageCheck(p, trials, seed);
        QMetaObject::invokeMethod(
            this, [this, p, trials, seed, report] { showCoverage(p, trials, seed, report); },
            Qt::QueuedConnection);
    });
    worker_ = worker;
    connect(worker, &QThread::finished, this, [this, worker] {
        if (worker_ == worker)
            worker_ = nullptr;
        worker->deleteLater();
    });
    worker->start();
    return Done{};
}

void CalibrationView::showCoverage(const CoverageCheckPlan& plan, int trials, quint64 seed,
                                   const CoverageReport& report) {
    checkButton_->setEnabled(true);
    if (plan.calibration.id != current())
        return; // another calibration is shown now
    coverageTable_->setRowCount(0);
    for (const CoverageAtDose& at : report.levels) {
        const int r = coverageTable_->rowCount();
        coverageTable_->insertRow(r);
        const QStringList cells{numberText(at.dose), QString::number(at.coveragePercent, 'f', 1),
                                QString::number(at.uOverError, 'f', 2)};
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            coverageTable_->setItem(r, col, item);
        }
    }
    status_->setText(QStringLiteral("Coverage of fit %1: %2 simulated calibrations (seed %3), %4 "
                                    "not accepted and not used. It checks that U propagates "
                                    "consistently, not that each component's size is right.")
                         .arg(QString::number(plan.fit.id), QString::number(trials),
                              QString::number(seed), QString::number(report.rejected)));
    emit coverageChecked();
}

qint64 CalibrationView::current() const {
    return calibration_->currentData().toLongLong();
}

void CalibrationView::reload(qint64 select) {
    {
        const QSignalBlocker a(calibration_), b(batch_);
        const QString batch = batch_->currentText();
        calibration_->clear();
        batch_->clear();
        if (auto all = store_.calibrations())
            for (const Calibration& c : *all)
                addCalibrationChoice(*calibration_, c);
        if (auto all = store_.batches())
            for (const Batch& b : *all)
                batch_->addItem(b.id);
        batch_->setCurrentText(batch);
        const int i = calibration_->findData(select);
        calibration_->setCurrentIndex(i >= 0 ? i : calibration_->count() - 1);
    }
    show(current());
}

Outcome<qint64> CalibrationView::importCsv(const QString& path, const CalibrationDetails& details) {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("calibration import"))) {
        status_->setText(QStringLiteral("Nothing was imported: %1.").arg(*why));
        return Failure{*why};
    }
    const ReaderItems& items = session_.items();
    const QString head = items.value(QStringLiteral("lblSN")).toString().trimmed();
    const auto nm = servedWavelength(items.value(QStringLiteral("WL")).toString());
    Outcome<std::vector<Receipt>> out =
        Failure{QStringLiteral("the reader's head and wavelength are not "
                               "known: start the reader first")};
    Calibration c;
    if (batch_->currentText().isEmpty()) {
        out = Failure{QStringLiteral("add the film batch first")};
    } else if (!head.isEmpty() && nm) {
        CalibrationImport in;
        in.file = path;
        in.uDosePercent = details.uDosePercent;
        c.batchId = batch_->currentText();
        c.headSerial = head;
        c.wavelengthNm = *nm;
        c.certificate = details.certificate.trimmed();
        c.validUntil = details.validUntil;
        c.windowMinHours = details.windowMinHours;
        c.windowMaxHours = details.windowMaxHours;
        c.operatorName = operator_;
        in.calibration = c;
        out = importCalibration(store_, in, now_().date());
    }
    if (!out) {
        status_->setText(QStringLiteral("The calibration was not imported: %1.").arg(out.error()));
        return Failure{out.error()};
    }
    c.id = out->front().id;
    reload(c.id);
    const auto note = trainingOnlyText(c);
    QStringList ids;
    for (const Receipt& made : *out)
        ids << QString::number(made.id);
    status_->setText(
        QStringLiteral("%1 %2 imported from %3 for head %4%5%6; fit %7 next.")
            .arg(ids.size() > 1 ? QStringLiteral("Calibrations") : QStringLiteral("Calibration"),
                 ids.join(QStringLiteral(" and ")), path, c.headSerial,
                 ids.size() > 1 ? QStringLiteral(", one per wavelength")
                                : QStringLiteral(" at %1 nm").arg(c.wavelengthNm),
                 note ? QStringLiteral(". It serves training jobs only: it has no "
                                       "certificate or no valid-until date")
                      : QString(),
                 ids.size() > 1 ? QStringLiteral("each") : QStringLiteral("it")));
    emit changed();
    return c.id;
}

Outcome<QString> CalibrationView::fit() {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("calibration fit"))) {
        status_->setText(QStringLiteral("Nothing was fitted: %1.").arg(*why));
        return Failure{*why};
    }
    // "auto" names no model: the one auto offers.
    FitRequest request;
    request.calibrationId = current();
    request.model = modelFromName(model_->currentText());
    request.operatorName = operator_;
    auto stored = signer_ ? fitAndStore(store_, *signer_, request)
                          : Outcome<StoredFit>(Failure{QStringLiteral("this window cannot sign")});
    show(current());
    emit changed();
    if (!stored) {
        status_->setText(QStringLiteral("The calibration was not fitted: %1.").arg(stored.error()));
        return Failure{stored.error()};
    }
    // The details are in the table; the line says what it means.
    const Fit& f = stored->fit;
    if (!f.acceptance.accepted) {
        const QString why =
            QStringLiteral("Fit %1 (%2) is rejected: %3. This calibration gives no dose until a "
                           "fit is accepted.")
                .arg(QString::number(f.id), modelName(f.model), f.acceptance.rejections.value(0));
        status_->setText(why);
        return Failure{why};
    }
    const QString text =
        QStringLiteral("Fit %1 (%2) is accepted, signed: the calibration gives doses from %3 to "
                       "%4 kGy.")
            .arg(QString::number(f.id), modelName(f.model), numberText(f.doseLo),
                 numberText(f.doseHi));
    status_->setText(text);
    return text;
}

void CalibrationView::show(qint64 id) {
    for (QChart* c : {curve_, residuals_})
        c->removeAllSeries();
    fitTable_->setRowCount(0);
    coverageTable_->setRowCount(0);
    auto c = store_.calibration(id);
    if (!c)
        return;
    auto* points = new QScatterSeries;
    points->setMarkerSize(7);
    double k0 = 1e300, k1 = -1e300, d0 = 1e300, d1 = -1e300;
    for (const CalibrationPoint& p : c->points) {
        const double k = response(p.absorbance, c->a0, p.thicknessUm);
        points->append(k, p.doseKGy);
        k0 = std::min(k0, k);
        k1 = std::max(k1, k);
        d0 = std::min(d0, p.doseKGy);
        d1 = std::max(d1, p.doseKGy);
    }
    plot(curve_, points);
    if (!c->points.empty())
        fitAxes(curve_, k0, k1, d0, d1);
    auto f = store_.latestFit(id);
    auto addRow = [this](const QString& name, const QString& value) {
        const int r = fitTable_->rowCount();
        fitTable_->insertRow(r);
        fitTable_->setItem(r, 0, new QTableWidgetItem(name));
        fitTable_->setItem(r, 1, new QTableWidgetItem(value));
    };
    const auto trainingOnly = trainingOnlyText(*c);
    addRow(QStringLiteral("certificate / valid until"),
           QStringLiteral("%1 / %2%3")
               .arg(c->certificate.isEmpty() ? QStringLiteral("none") : c->certificate,
                    c->validUntil.isValid() ? dateText(c->validUntil) : QStringLiteral("none"),
                    trainingOnly ? QStringLiteral(": serves training jobs only") : QString()));
    if (trainingOnly)
        toneRow(fitTable_, fitTable_->rowCount() - 1, Tone::Caution);
    for (const Amendment& a : c->amendments)
        addRow(QStringLiteral("version %1").arg(a.version),
               QStringLiteral("%1, %2: %3").arg(a.operatorName, timeText(a.createdAt), a.reason));
    if (!f) {
        addRow(QStringLiteral("fit"), f.error());
        return;
    }
    auto* line = new QLineSeries;
    for (int i = 0; i <= 60; ++i) {
        const double k = f->responseLo + (f->responseHi - f->responseLo) * i / 60;
        line->append(k, f->dose(k));
    }
    plot(curve_, line);
    auto* residuals = new QScatterSeries;
    residuals->setMarkerSize(7);
    double r0 = 0, r1 = 0;
    for (size_t i = 0; i < c->points.size() && i < f->residualsPercent.size(); ++i) {
        residuals->append(c->points[i].doseKGy, f->residualsPercent[i]);
        r0 = std::min(r0, f->residualsPercent[i]);
        r1 = std::max(r1, f->residualsPercent[i]);
    }
    plot(residuals_, residuals);
    fitAxes(residuals_, d0, d1, r0, r1);
    // First, where it is seen: whether this calibration gives doses at all.
    const Acceptance& a = f->acceptance;
    addRow(QStringLiteral("acceptance"),
           (a.accepted ? QStringLiteral("ACCEPTED; ") +
                             signatureOrAttribution(f->signature, f->operatorName)
                       : QStringLiteral("REJECTED: ") + a.rejections.join(QStringLiteral("; "))) +
               (f->judgedWhenFitted ? QString()
                                    : QStringLiteral(" (judged now: stored before fits were "
                                                     "judged)")));
    toneRow(fitTable_, fitTable_->rowCount() - 1, a.accepted ? Tone::Good : Tone::Bad);
    addRow(QStringLiteral("model"),
           modelName(f->model) +
               (f->choice.isEmpty() ? QString() : QStringLiteral(": ") + f->choice));
    for (size_t i = 0; i < f->coefficients.size(); ++i)
        addRow(QStringLiteral("coefficient %1").arg(i),
               QStringLiteral("%1 ± %2").arg(QString::number(f->coefficients[i], 'g', 6),
                                             i < f->stdErrors.size()
                                                 ? QString::number(f->stdErrors[i], 'g', 3)
                                                 : QStringLiteral("-")));
    addRow(QStringLiteral("RMS of % residuals"), QString::number(f->rmsPercent, 'f', 2) + " %");
    addRow(QStringLiteral("R²"), QString::number(f->r2, 'f', 6));
    addRow(QStringLiteral("calibrated range"),
           QStringLiteral("%1 to %2 kGy").arg(numberText(f->doseLo), numberText(f->doseHi)));
    for (size_t i = 0; i < f->levelDoses.size() && i < f->levelCvPercent.size(); ++i)
        addRow(QStringLiteral("CV at %1 kGy").arg(numberText(f->levelDoses[i])),
               QString::number(f->levelCvPercent[i], 'f', 2) + " %");
    if (!f->excluded.isEmpty())
        addRow(QStringLiteral("excluded"),
               QStringLiteral("%1 (reason: %2)")
                   .arg(f->excluded.join(QStringLiteral(", ")), f->exclusionReason));
    addRow(QStringLiteral("pure error"), QStringLiteral("%1 % (%2 degrees of freedom)")
                                             .arg(QString::number(a.pureErrorPercent, 'f', 2))
                                             .arg(a.pureErrorDof));
    if (a.lackOfFitP)
        addRow(QStringLiteral("lack of fit"),
               QStringLiteral("F = %1, p = %2 (rejected below %3)")
                   .arg(a.lackOfFitF ? QString::number(*a.lackOfFitF, 'g', 4)
                                     : QStringLiteral("infinite"),
                        QString::number(*a.lackOfFitP, 'g', 3))
                   .arg(kLackOfFitAlpha));
    if (!a.outliers.isEmpty())
        addRow(QStringLiteral("suspected outliers (Grubbs)"),
               a.outliers.join(QStringLiteral(", ")) + QStringLiteral(": investigate"));
    if (!a.investigate.isEmpty())
        addRow(QStringLiteral("beyond 3 × pure error"), a.investigate.join(QStringLiteral(", ")));
}

void CalibrationView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CalibrationView::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            askImport(url.toLocalFile());
    event->acceptProposedAction();
}

} // namespace qvr::dose
