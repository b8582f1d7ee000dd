#include "dose/ui/DoseWindow.h"

#include "dose/core/Operator.h"
#include "dose/core/Quantity.h"
#include "dose/core/Signature.h"

#include "dose/ui/CalibrationView.h"
#include "dose/ui/DoseGuide.h"
#include "dose/ui/IdleWatch.h"
#include "dose/ui/LinkBar.h"
#include "dose/ui/LockPage.h"
#include "dose/ui/MappingView.h"
#include "dose/ui/NewJobDialog.h"
#include "dose/ui/PdfReport.h"
#include "dose/ui/ReadView.h"
#include "dose/ui/ReaderCheckView.h"
#include "dose/ui/RecordsView.h"
#include "dose/ui/RolesDialog.h"
#include "dose/ui/Sentence.h"
#include "dose/ui/Tones.h"
#include "dose/ui/TrendView.h"
#include "dose/usecases/JobReview.h"
#include "dose/usecases/RecordCorrection.h"
#include "dose/usecases/RecordsCsv.h"
#include "dose/usecases/RoleGate.h"
#include "dose/usecases/Signer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace qvr::dose {

namespace {

// Which of the window's actions stand for which act of the role table.
const std::pair<const char*, const char*> kActionActs[] = {
    {"newJob", "job add"},
    {"capture", "read"},
    {"recordCheck", "reader check"},
    {"correct", "record correct"},
    {"approve", "job approve"},
    {"returnJob", "job return"},
    {"importCalibration", "calibration import"},
    {"fitCalibration", "calibration fit"},
    {"roles", "role grant"},
};

} // namespace

QString settingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QVR100/qvr100dose.conf");
}

DoseWindow::DoseWindow(Store& store, CaptureSession& session, DoseWindowEnv env, QWidget* parent)
    : QMainWindow(parent), store_(store), session_(session), env_(std::move(env)) {
    if (env_.passwords && env_.authenticator)
        signer_ = std::make_unique<Signer>(store_, *env_.authenticator, *env_.passwords);
    setWindowTitle(QStringLiteral("QVR100 dose workstation"));
    pages_ = new QStackedWidget(this);
    auto* central = content_ = new QWidget(pages_);
    lock_ = new LockPage(pages_);
    pages_->addWidget(content_);
    pages_->addWidget(lock_);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    linkBar_ = new LinkBar(session_, central);
    tabs_ = new QTabWidget(central);
    read_ = new ReadView(store_, session_, tabs_);
    records_ = new RecordsView(store_, tabs_);
    trend_ = new TrendView(session_, 5, tabs_);
    calibration_ =
        new CalibrationView(store_, session_, signer_.get(), env_.operatorName, env_.now, tabs_);
    check_ = new ReaderCheckView(store_, session_, signer_.get(), env_.settingsFile, tabs_);
    mapping_ = new MappingView(store_, signer_.get(), env_.operatorName, env_.now, tabs_);
    // Each view scrolls inside its tab, so that no content can push the window off the screen.
    addPage(read_, QStringLiteral("&Read"));
    addPage(records_, QStringLiteral("Rec&ords"));
    addPage(trend_, QStringLiteral("&Trend"));
    addPage(calibration_, QStringLiteral("&Calibration"));
    addPage(check_, QStringLiteral("Reader chec&k"));
    addPage(mapping_, QStringLiteral("&Mapping"));
    layout->addWidget(linkBar_);
    layout->addWidget(tabs_, 1);
    setCentralWidget(pages_);
    status_ = new QLabel(this);
    // A long message is cut on the bar, never widens the window; its tooltip holds it whole.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(status_, 3);
    checkStatus_ = new QLabel(this);
    checkStatus_->setMargin(2);
    checkStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addPermanentWidget(checkStatus_, 2);
    statusBar()->addPermanentWidget(new QLabel(QStringLiteral("operator: ") + env_.operatorName));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addAction(file, QStringLiteral("report"), QStringLiteral("&Report PDF..."),
              QKeySequence(Qt::CTRL | Qt::Key_P), [this] { askReport(); });
    addAction(file, QStringLiteral("exportCsv"), QStringLiteral("&Export CSV..."),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), [this] { askExport(); });
    addAction(file, QStringLiteral("roles"), QStringLiteral("R&oles..."),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), [this] {
                  RolesDialog dialog(store_, env_.operatorName, this);
                  dialog.exec();
                  applyRoles();
              });
    file->addSeparator();
    addAction(file, QStringLiteral("quit"), QStringLiteral("&Quit"),
              QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    QMenu* job = menuBar()->addMenu(QStringLiteral("&Job"));
    addAction(job, QStringLiteral("newJob"), QStringLiteral("&New job..."),
              QKeySequence(Qt::CTRL | Qt::Key_J), [this] { newJob(); });
    addAction(job, QStringLiteral("dosimeter"), QStringLiteral("Next &dosimeter"),
              QKeySequence(Qt::CTRL | Qt::Key_D), [this] {
                  showView(read_);
                  read_->focusDosimeter();
              });
    addAction(job, QStringLiteral("capture"), QStringLiteral("&Capture"), QKeySequence(Qt::Key_F2),
              [this] { read_->capture(); });
    addAction(job, QStringLiteral("recordCheck"), QStringLiteral("Record reader chec&k"),
              QKeySequence(Qt::CTRL | Qt::Key_K), [this] {
                  showView(check_);
                  check_->record();
              });
    job->addSeparator();
    addAction(job, QStringLiteral("correct"), QStringLiteral("C&orrect record..."),
              QKeySequence(Qt::CTRL | Qt::Key_E), [this] { askCorrection(); });
    addAction(job, QStringLiteral("approve"), QStringLiteral("&Approve job..."),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), [this] { askReview(true); });
    addAction(job, QStringLiteral("returnJob"), QStringLiteral("Re&turn job..."),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), [this] { askReview(false); });
    QMenu* calibration = menuBar()->addMenu(QStringLiteral("&Calibration"));
    addAction(calibration, QStringLiteral("importCalibration"), QStringLiteral("&Import CSV..."),
              QKeySequence(Qt::CTRL | Qt::Key_I), [this] {
                  showView(calibration_);
                  calibration_->askImport();
              });
    addAction(calibration, QStringLiteral("fitCalibration"), QStringLiteral("&Fit"),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), [this] {
                  showView(calibration_);
                  calibration_->fit();
              });
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    addAction(view, QStringLiteral("viewRead"), QStringLiteral("&Read a job"),
              QKeySequence(Qt::CTRL | Qt::Key_1), [this] { showView(read_); });
    addAction(view, QStringLiteral("viewRecords"), QStringLiteral("Rec&ords"),
              QKeySequence(Qt::CTRL | Qt::Key_2), [this] { showView(records_); });
    addAction(view, QStringLiteral("viewTrend"), QStringLiteral("&Trend"),
              QKeySequence(Qt::CTRL | Qt::Key_3), [this] { showView(trend_); });
    addAction(view, QStringLiteral("viewCalibration"), QStringLiteral("&Calibration"),
              QKeySequence(Qt::CTRL | Qt::Key_4), [this] { showView(calibration_); });
    addAction(view, QStringLiteral("viewCheck"), QStringLiteral("Reader chec&k"),
              QKeySequence(Qt::CTRL | Qt::Key_5), [this] { showView(check_); });
    addAction(view, QStringLiteral("viewMapping"), QStringLiteral("&Mapping"),
              QKeySequence(Qt::CTRL | Qt::Key_6), [this] { showView(mapping_); });
    addAction(view, QStringLiteral("filter"), QStringLiteral("&Filter records"),
              QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
                  showView(records_);
                  records_->focusFilter();
              });

    for (const auto& [name, act] : kActionActs)
        action(QLatin1String(name))->setProperty("act", QLatin1String(act));
    applyRoles();

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    addAction(help, QStringLiteral("guide"), QStringLiteral("Dose workstation &guide"),
              QKeySequence(Qt::Key_F1), [this] {
                  auto* guide = new DoseGuide(this);
                  guide->show();
              });

    connect(&session_, &CaptureSession::linkChanged, linkBar_, &LinkBar::refresh);
    connect(mapping_, &MappingView::spoke, this, &DoseWindow::say);
    connect(read_, &ReadView::choiceChanged, this, [this] {
        records_->showJob(read_->jobId());
        updateCheckStatus();
    });
    connect(tabs_, &QTabWidget::currentChanged, this, [this] {
        if (currentView() == calibration_)
            calibration_->reload(calibration_->current());
    });
    connect(calibration_, &CalibrationView::changed, this,
            [this] { read_->reloadChoices(read_->jobId(), calibration_->current()); });
    connect(check_, &ReaderCheckView::checkRecorded, this, [this] {
        // A failed check adds flagged versions of the reads it casts doubt on.
        read_->reloadChoices(read_->jobId(), read_->calibrationId());
        records_->reload();
        updateCheckStatus();
    });
    connect(&session_, &CaptureSession::captured, this, [this](const Record& r, const QString& h) {
        records_->reload();
        say(QStringLiteral("Record %1 (%2) stored; chain head %3.")
                .arg(QString::number(r.id), r.dosimeter, h));
    });
    // Notices a reader that stopped or came back, between the reader's own writes.
    poll_ = new QTimer(this);
    poll_->setInterval(1000);
    connect(poll_, &QTimer::timeout, this, [this] {
        session_.poll(false);
        checkDatabase();
        checkIdle();
    });
    idle_ = new IdleWatch(env_.now, this);
    readIdleLimit();
    connect(lock_, &LockPage::unlockAsked, this, [this] { unlock(); });
    poll_->start();

    QSettings settings(env_.settingsFile, QSettings::IniFormat);
    const bool restored =
        restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    read_->reloadChoices(settings.value(QStringLiteral("read/job")).toString(),
                         settings.value(QStringLiteral("read/calibration")).toLongLong());
    session_.poll(false);
    updateCheckStatus();
    read_->focusDosimeter();
    if (auto mark = store_.changeMark())
        changeMark_ = *mark;
    if (!restored)
        resize(1180, 760);
    fitOnScreen();
}

bool DoseWindow::checkDatabase() {
    auto mark = store_.changeMark();
    if (!mark || *mark == changeMark_)
        return false;
    changeMark_ = *mark;
    // Written elsewhere: every view shows the database as it is now.
    calibration_->reload(calibration_->current());
    read_->reloadChoices(read_->jobId(), read_->calibrationId());
    records_->reload();
    mapping_->reload();
    updateCheckStatus();
    readIdleLimit();
    applyRoles();
    return true;
}

void DoseWindow::readIdleLimit() {
    // Unreadable settings leave the default: the window still locks.
    auto lab = store_.labSettings();
    idleLockMinutes_ = lab ? lab->idleLockMinutes : kDefaultIdleLockMinutes;
}

bool DoseWindow::isLocked() const {
    return pages_->currentWidget() == lock_;
}

bool DoseWindow::checkIdle() {
    if (isLocked() || !idle_->idleFor(idleLockMinutes_))
        return false;
    // A dialog left open gives way too: what was typed into it is not kept.
    for (int open = 0; QWidget* modal = QApplication::activeModalWidget(); ++open) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog || open > 16)
            break;
        dialog->reject();
        QApplication::processEvents();
    }
    lockedActions_.clear();
    // The views are hidden, so their own shortcuts are off; the menus' need turning off.
    for (QAction* a : menuBar()->findChildren<QAction*>()) {
        lockedActions_.emplace_back(a, a->isEnabled());
        a->setEnabled(false);
    }
    menuBar()->setEnabled(false);
    lock_->lock(signerText(printedName(env_.operatorName), env_.operatorName), idleLockMinutes_);
    pages_->setCurrentWidget(lock_);
    lock_->passwordField()->setFocus();
    say(QStringLiteral("Locked after %1 without use.").arg(minutesText(idleLockMinutes_)));
    return true;
}

Outcome<QString> DoseWindow::unlock() {
    if (!isLocked())
        return QStringLiteral("not locked");
    if (!env_.authenticator) {
        lock_->showRefusal(QStringLiteral("this window cannot check a password"));
        return Failure{QStringLiteral("this window cannot check a password")};
    }
    LockPagePrompt typed(*lock_);
    Signer signer(store_, *env_.authenticator, typed);
    auto checked = signer.sign(env_.operatorName, QStringLiteral("unlocked the window"),
                               QStringLiteral("unlock the window"));
    if (!checked) {
        lock_->showRefusal(checked.error());
        return Failure{checked.error()};
    }
    for (auto [action, enabled] : lockedActions_)
        action->setEnabled(enabled);
    lockedActions_.clear();
    lock_->showRefusal(QString());
    menuBar()->setEnabled(true);
    pages_->setCurrentWidget(content_);
    applyRoles();
    idle_->touch();
    read_->focusDosimeter();
    return finish(QStringLiteral("Unlocked by %1.").arg(env_.operatorName));
}

std::optional<QString> DoseWindow::blocker(const QAction* action) {
    const QString act = action->property("act").toString();
    if (act.isEmpty())
        return std::nullopt;
    return actBlocker(store_, env_.operatorName, act);
}

void DoseWindow::applyRoles() {
    // A locked window's actions stay off; they are judged again when it opens.
    if (isLocked())
        return;
    for (const auto& [name, act] : kActionActs) {
        QAction* a = action(QLatin1String(name));
        const auto why = blocker(a);
        a->setEnabled(!why);
        a->setToolTip(why ? sentence(*why) : a->text().remove(QLatin1Char('&')));
        a->setStatusTip(why ? sentence(*why) : QString());
    }
}

DoseWindow::~DoseWindow() = default;

void DoseWindow::addPage(QWidget* view, const QString& title) {
    auto* area = new QScrollArea(tabs_);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(view);
    tabs_->addTab(area, title);
}

void DoseWindow::showView(QWidget* view) {
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* area = qobject_cast<QScrollArea*>(tabs_->widget(i));
            area && area->widget() == view)
            tabs_->setCurrentIndex(i);
}

QWidget* DoseWindow::currentView() const {
    auto* area = qobject_cast<QScrollArea*>(tabs_->currentWidget());
    return area ? area->widget() : nullptr;
}

// A size saved on a larger screen, or by a window that once outgrew it, never comes back larger
// than the screen it opens on.
void DoseWindow::fitOnScreen() {
    const QScreen* s = screen();
    if (!s)
        return;
    const QRect free = s->availableGeometry();
    QRect frame = frameGeometry();
    const QSize margins = frame.size() - size();
    const QSize most = free.size() - margins;
    if (width() > most.width() || height() > most.height())
        resize(std::min(width(), most.width()), std::min(height(), most.height()));
    frame = frameGeometry();
    if (!free.contains(frame))
        move(
            std::clamp(frame.x(), free.left(), std::max(free.left(), free.right() - frame.width())),
            std::clamp(frame.y(), free.top(),
                       std::max(free.top(), free.bottom() - frame.height())));
}

QAction* DoseWindow::addAction(QMenu* menu, const QString& name, const QString& text,
                               const QKeySequence& key, std::function<void()> run) {
    auto* a = menu->addAction(text);
    a->setObjectName(name);
    a->setShortcut(key);
    connect(a, &QAction::triggered, this, [this, a, run = std::move(run)] {
        // The roles may have changed since the menu was last enabled.
        if (auto why = blocker(a)) {
            say(refusalSentence(QStringLiteral("Not done"), *why));
            return;
        }
        run();
    });
    return a;
}

QAction* DoseWindow::action(const QString& name) const {
    return findChild<QAction*>(name);
}

// The studies a routine job may name: approved ones, with their positions.
std::vector<MappingStudyRecords> DoseWindow::approvedStudies() {
    std::vector<MappingStudyRecords> out;
    auto studies = store_.mappingStudies();
    if (!studies) {
        say(refusalSentence(QStringLiteral("The mapping studies could not be read"),
                            studies.error()));
        return out;
    }
    for (const MappingStudy& s : *studies)
        if (auto r = store_.mappingStudy(s.id); r && isApproved(r->approvals))
            out.push_back(std::move(*r));
    return out;
}

void DoseWindow::newJob() {
    NewJobDialog dialog(approvedStudies(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Job job = dialog.job();
    job.operatorName = env_.operatorName;
    auto added = store_.addJob(job);
    if (!added) {
        QMessageBox::warning(
            this, QStringLiteral("New job"),
            refusalSentence(QStringLiteral("The job was not added"), added.error()));
        return;
    }
    read_->reloadChoices(job.id, read_->calibrationId());
    say(QStringLiteral("Job %1 added%2; chain head %3.")
            .arg(job.id, job.training ? QStringLiteral(" as a training job") : QString(),
                 added->hash));
}

Outcome<QString> DoseWindow::finish(Outcome<QString> outcome) {
    refreshViews();
    say(outcome ? sentence(*outcome)
                : refusalSentence(QStringLiteral("Not done"), outcome.error()));
    return outcome;
}

void DoseWindow::refreshViews() {
    read_->showReads();
    records_->reload();
}

Outcome<QString> DoseWindow::correctRecord(qint64 id, double thicknessUm, const QString& reason,
                                           bool confirmed) {
    if (auto why = actBlocker(store_, env_.operatorName, QStringLiteral("record correct")))
        return finish(Failure{*why});
    // Asked here first, so that the window says how to confirm it here.
    if (auto latest = store_.record(id); latest && !confirmed)
        if (auto batch = store_.batch(latest->batchId))
            if (auto why = thicknessNeedsConfirming(thicknessUm, batch->thicknessUm,
                                                    QStringLiteral("tick \"confirmed\"")))
                return finish(Failure{*why});
    if (!signer_)
        return finish(Failure{QStringLiteral("this window cannot sign")});
    auto corrected = dose::correctRecord(
        store_, *signer_, {id, thicknessUm, std::nullopt, reason, env_.operatorName, confirmed});
    if (!corrected)
        return finish(Failure{corrected.error()});
    return finish(QStringLiteral("%1, signed; chain head %2")
                      .arg(correctedText(*corrected), corrected->chainHead));
}

Outcome<QString> DoseWindow::reviewJob(bool approve, const QString& reason) {
    // Before any password is asked.
    if (auto why =
            actBlocker(store_, env_.operatorName,
                       approve ? QStringLiteral("job approve") : QStringLiteral("job return")))
        return finish(Failure{*why});
    Review review;
    review.jobId = read_->jobId();
    review.approved = approve;
    review.reason = reason.trimmed();
    review.reviewer = env_.operatorName;
    if (!signer_)
        return finish(Failure{QStringLiteral("this window cannot sign")});
    auto receipt = dose::reviewJob(store_, *signer_, review);
    if (!receipt)
        return finish(Failure{receipt.error()});
    return finish(
        QStringLiteral("%1, signed; chain head %2").arg(reviewText(review), receipt->hash));
}

Outcome<QString> DoseWindow::exportCsv(const QString& path) {
    auto exported = exportRecordsCsv(store_, read_->jobId(), path);
    if (!exported)
        return finish(Failure{exported.error()});
    return finish(
        QStringLiteral("%1; chain head %2").arg(exportText(*exported), exported->chainHead));
}

Outcome<QString> DoseWindow::writeReport(const QString& path) {
    auto report = buildJobReport(store_, read_->jobId(), env_.now());
    if (!report)
        return finish(Failure{report.error()});
    auto pages = writePdfReport(*report, path);
    if (!pages)
        return finish(Failure{pages.error()});
    finish(QStringLiteral("report %1 (%2 pages) written to %3")
               .arg(report->id, QString::number(*pages), path));
    return report->id;
}

// The last passing check of the head and wavelength in use; a warning before reading without
// one today.
void DoseWindow::updateCheckStatus() {
    QString head;
    int nm = 0;
    if (const Calibration* c = session_.calibration()) {
        head = c->headSerial;
        nm = c->wavelengthNm;
    } else {
        head = session_.items().value(QStringLiteral("lblSN")).toString().trimmed();
        nm = servedWavelength(session_.items().value(QStringLiteral("WL")).toString()).value_or(0);
    }
    std::optional<ReaderCheck> last;
    std::optional<QString> refused = QStringLiteral("the reader checks cannot be read");
    if (auto checks = store_.checks()) {
        last = lastPassingCheck(*checks, head, nm, env_.now());
        if (auto lab = store_.labSettings())
            refused = checkRefusal(*checks, head, nm, env_.now(), *lab);
    }
    QString text =
        last ? QStringLiteral("last passing reader check: %1")
                   .arg(last->createdAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))
             : QStringLiteral("no passing reader check");
    if (refused)
        text += QStringLiteral(" - check the reader before reading a job");
    checkStatus_->setText(text);
    checkStatus_->setToolTip(text);
    paintTone(checkStatus_, refused ? Tone::Caution : Tone::Good);
    const Job* job = session_.job();
    read_->setWarning(!refused ? QString()
                      : job && job->training
                          ? QStringLiteral("Training job: read without a reader check. Any "
                                           "other job would be refused: %1.")
                                .arg(*refused)
                          : QStringLiteral("Reads are refused: %1.").arg(*refused));
}

void DoseWindow::askCorrection() {
    showView(records_);
    const qint64 id = records_->selectedRecord();
    if (id == 0) {
        say(QStringLiteral("Select the record to correct first."));
        return;
    }
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Correct record %1").arg(id));
    auto* thickness = new QDoubleSpinBox(&dialog);
    thickness->setRange(kThicknessUm.lo, kThicknessUm.hi);
    thickness->setDecimals(1);
    thickness->setSuffix(QStringLiteral(" µm"));
    thickness->setValue(50);
    auto* confirmed =
        new QCheckBox(QStringLiteral("&confirmed, though far from the nominal"), &dialog);
    auto* reason = new QLineEdit(&dialog);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Gauge &thickness"), thickness);
    form->addRow(QString(), confirmed);
    form->addRow(QStringLiteral("&Reason"), reason);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() == QDialog::Accepted)
        correctRecord(id, thickness->value(), reason->text(), confirmed->isChecked());
}

void DoseWindow::askReview(bool approve) {
    showView(records_);
    bool ok = false;
    const QString reason = QInputDialog::getText(
        this, approve ? QStringLiteral("Approve job") : QStringLiteral("Return job"),
        approve ? QStringLiteral("Approve job %1 as %2 (comment, optional):")
                      .arg(read_->jobId(), env_.operatorName)
                : QStringLiteral("Why is job %1 returned?").arg(read_->jobId()),
        QLineEdit::Normal, QString(), &ok);
    if (ok)
        reviewJob(approve, reason.trimmed());
}

void DoseWindow::askExport() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                     QDir::home().filePath(read_->jobId() + QStringLiteral(".csv")),
                                     QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty())
        exportCsv(path);
}

void DoseWindow::askReport() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Report PDF"),
        QDir::home().filePath(read_->jobId() + QStringLiteral("-report.pdf")),
        QStringLiteral("PDF files (*.pdf)"));
    if (!path.isEmpty())
        writeReport(path);
}

void DoseWindow::say(const QString& text) {
    status_->setText(text);
    status_->setToolTip(text);
}

void DoseWindow::saveSettings() {
    QSettings settings(env_.settingsFile, QSettings::IniFormat);
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("read/job"), read_->jobId());
    settings.setValue(QStringLiteral("read/calibration"), read_->calibrationId());
    if (const Batch* b = session_.batch())
        settings.setValue(QStringLiteral("read/batch"), b->id);
}

void DoseWindow::closeEvent(QCloseEvent* event) {
    saveSettings();
    event->accept();
}

} // namespace qvr::dose
