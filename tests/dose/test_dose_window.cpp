// The dose window offscreen over a fake reader: the capture action records the typed dosimeter
// and colours its row, the top bar says the reader's state, and the settings go to the window's
// own file.

#include "DoseBench.h"
#include "FakeSigning.h"

#include "dose/auth/PamAuthenticator.h"
#include "dose/cli/Cli.h"
#include "dose/core/Canonical.h"
#include "dose/ui/AmendmentDialog.h"
#include "dose/ui/BatchDialog.h"
#include "dose/ui/CalibrationImportDialog.h"
#include "dose/ui/CalibrationView.h"
#include "dose/ui/DoseWindow.h"
#include "dose/ui/LinkBar.h"
#include "dose/ui/LockPage.h"
#include "dose/ui/NewJobDialog.h"
#include "dose/ui/PdfReport.h"
#include "dose/ui/ReadView.h"
#include "dose/ui/ReaderCheckView.h"
#include "dose/ui/RecordsView.h"
#include "dose/ui/RolesDialog.h"
#include "dose/ui/Sentence.h"
#include "dose/ui/SigningDialog.h"
#include "dose/ui/Tones.h"
#include "dose/ui/TrendView.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScatterSeries>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace qvr::dose;
using namespace qvr::dose::test;

// The password a signer types into the signing dialog; checked by PAM under pam_wrapper.
class TypedPassword : public PasswordPrompt {
public:
    QByteArray typed;
    QString meaning; // of the last request
    Outcome<QByteArray> password(const SigningRequest& request) override {
        meaning = request.meaning;
        return typed;
    }
};

class TestDoseWindow : public QObject {
    Q_OBJECT

    DoseBench bench_;
    FakeReader reader_;
    std::unique_ptr<CaptureSession> session_;
    std::unique_ptr<DoseWindow> window_;
    TypedPassword password_;
    PamAuthenticator pam_;

    // A message for a person: no program name, option or usage line.
    static bool spoken(const QString& text) {
        return !text.isEmpty() && !text.contains(QLatin1String("--")) &&
               !text.contains(QLatin1String("Usage")) &&
               !text.contains(QLatin1String("qvr100dose"));
    }
    // On every view the window fits a 1024x768 screen at 1x with room for a title bar, and asks
    // for no more than 1280x800: long content scrolls inside its view.
    void fitsSmallScreens(const char* after) {
        QTabWidget* tabs = window_->tabs();
        const int shown = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QCoreApplication::processEvents();
            const QSize least = window_->minimumSizeHint().expandedTo(window_->minimumSize());
            const QSize hint = window_->sizeHint();
            const QString where = QStringLiteral("%1, view %2: least %3x%4, hint %5x%6")
                                      .arg(QLatin1String(after), tabs->tabText(i))
                                      .arg(least.width())
                                      .arg(least.height())
                                      .arg(hint.width())
                                      .arg(hint.height());
            QVERIFY2(least.width() <= 1024 && least.height() <= 740, qPrintable(where));
            QVERIFY2(hint.width() <= 1280 && hint.height() <= 770, qPrintable(where));
        }
        tabs->setCurrentIndex(shown);
    }
    static QString pdfText(const QString& pdf) {
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        text.waitForFinished(30000);
        return QString::fromUtf8(text.readAllStandardOutput()).simplified();
    }
    int runCli(const QStringList& args) {
        QString out, err;
        QTextStream o(&out), e(&err);
        CliEnv env;
        qvr::test::withFakeSigning(env);
        env.out = &o;
        env.err = &e;
        env.now = bench_.clock();
        env.operatorName = QStringLiteral("ben");
        env.database = bench_.path;
        env.mayCreateDatabase = false;
        env.writePdf = writePdfReport;
        const int status = qvr::dose::runCli(args, env);
        if (status != 0)
            qWarning("%s", qPrintable(err));
        return status;
    }
    QString settingsFile() const { return bench_.dir.filePath(QStringLiteral("qvr100dose.conf")); }

private slots:
    void init() {
        window_.reset();
        session_.reset();
        bench_.store.reset();
        QFile::remove(bench_.path);
        QVERIFY(bench_.open());
        reader_ = FakeReader();
        password_.typed = "ana-secret"; // the window's own login signs what it does
        session_ = std::make_unique<CaptureSession>(*bench_.store, reader_, bench_.clock(),
                                                    QStringLiteral("ana"));
        window_ = std::make_unique<DoseWindow>(*bench_.store, *session_,
                                               DoseWindowEnv{QStringLiteral("ana"), bench_.clock(),
                                                             settingsFile(), &password_, &pam_});
        window_->readView()->reloadChoices(QStringLiteral("T1"), bench_.calibrationId);
        window_->show();
    }

    // Without a role its actions are greyed out saying which role, and refused if reached
    // anyway, before any password is asked; an administrator's grant in the roles dialog opens
    // them without a restart.
    void actionsFollowTheRoles() {
        QVERIFY(qvr::test::grantRoles(*bench_.store, QStringLiteral("ned"), {Role::Operator}));
        CaptureSession session(*bench_.store, reader_, bench_.clock(), QStringLiteral("ned"));
        DoseWindow ned(*bench_.store, session,
                       DoseWindowEnv{QStringLiteral("ned"), bench_.clock(), settingsFile(),
                                     &password_, &pam_});
        const QString why = QStringLiteral("job approve needs the reviewer role; ned has operator");
        QAction* approve = ned.action(QStringLiteral("approve"));
        QVERIFY(!approve->isEnabled());
        QCOMPARE(approve->toolTip(), sentence(why));
        QVERIFY(ned.action(QStringLiteral("capture"))->isEnabled());
        QVERIFY(!ned.action(QStringLiteral("importCalibration"))->isEnabled());
        QVERIFY(!ned.action(QStringLiteral("roles"))->isEnabled());
        password_.meaning.clear();
        ned.readView()->reloadChoices(QStringLiteral("R1"), bench_.calibrationId);
        const auto refused = ned.reviewJob(true, QString());
        QVERIFY(!refused);
        QCOMPARE(refused.error(), why);
        QVERIFY(password_.meaning.isEmpty());
        const auto notFitted = ned.calibrationView()->fit();
        QVERIFY(!notFitted);
        QCOMPARE(notFitted.error(),
                 QStringLiteral("calibration fit needs the metrologist role; ned has operator"));

        // ana grants it at her own desk; ned's window follows.
        auto anasDesk = Store::open(bench_.path, bench_.clock());
        QVERIFY(anasDesk);
        RolesDialog dialog(**anasDesk, QStringLiteral("ana"));
        dialog.account()->setText(QStringLiteral("ned"));
        dialog.role()->setCurrentText(QStringLiteral("reviewer"));
        QVERIFY(dialog.change(true));
        QVERIFY(
            dialog.status()->text().startsWith(QStringLiteral("Ned now has the reviewer role")) ||
            dialog.status()->text().startsWith(QStringLiteral("ned now has the reviewer role")));
        QVERIFY(ned.checkDatabase());
        QVERIFY(approve->isEnabled());
        // Withdrawing the last administrator is refused in the dialog as on the command line.
        RolesDialog nedsDialog(*bench_.store, QStringLiteral("ned"));
        nedsDialog.account()->setText(QStringLiteral("ana"));
        nedsDialog.role()->setCurrentText(QStringLiteral("operator"));
        nedsDialog.reason()->setText(QStringLiteral("left"));
        QVERIFY(!nedsDialog.change(false));
        QVERIFY(
            nedsDialog.status()->text().contains(QStringLiteral("needs the administrator role")));
    }

    void captureActionRecordsTheTypedDosimeter() {
        session_->setAutomatic(false);
        QTest::keyClicks(window_->findChild<QLineEdit*>(QStringLiteral("dosimeter")), "D-007");
        for (int i = 0; i < 3; ++i)
            session_->poll(true);
        window_->action(QStringLiteral("capture"))->trigger();
        QTableWidget* reads = window_->readView()->readsTable();
        QCOMPARE(reads->rowCount(), 1);
        QCOMPARE(reads->item(0, 0)->text(), QStringLiteral("D-007"));
        QCOMPARE(reads->item(0, 0)->background().color(), toneColour(Tone::Good));
        QCOMPARE(window_->readView()->summaryTable()->item(0, 1)->text(), QStringLiteral("1 of 1"));
        // Ready for the next film: the id field is empty and the same film is refused.
        QVERIFY(window_->findChild<QLineEdit*>(QStringLiteral("dosimeter"))->text().isEmpty());
    }

    // Reads D1 twice (a reread) and D2 once in job, as ana.
    void readThree(const QString& job) {
        window_->readView()->reloadChoices(job, bench_.calibrationId);
        for (const char* id : {"D1", "D1", "D2"}) {
            reader_.served.insert(QStringLiteral("lblPresent"), QStringLiteral("No Film"));
            session_->poll(true);
            reader_.served.insert(QStringLiteral("lblPresent"), QStringLiteral("Film"));
            session_->setDosimeter(QString::fromLatin1(id));
            for (int i = 0; i < 5; ++i)
                session_->poll(true);
        }
        auto all = bench_.store->records(job);
        QVERIFY(all && all->size() == 3);
    }

    // A routine job's reads show the product's inferred Dmin and Dmax beside the monitoring
    // dose, quoting the study.
    void routineJobShowsInferredDoses() {
        Store& store = *bench_.store;
        MappingStudy study;
        study.id = QStringLiteral("AS");
        study.minRequiredKGy = 5;
        study.maxAcceptableKGy = 60;
        study.processValue = 0.1 + 0.2; // every digit must reach the job
        study.processUnit = QStringLiteral("m/min");
        study.operatorName = QStringLiteral("ana");
        QVERIFY(store.addMappingStudy(study));
        MappingPosition mon;
        mon.studyId = study.id;
        mon.id = QStringLiteral("MON");
        mon.monitoring = true;
        mon.operatorName = study.operatorName;
        QVERIFY(store.addMappingPosition(mon));
        MappingPosition edge = mon;
        edge.id = QStringLiteral("EDGE");
        edge.monitoring = false;
        QVERIFY(store.addMappingPosition(edge));
        for (int r = 1; r <= 3; ++r) {
            MappingRun run;
            run.id = QStringLiteral("AS-%1").arg(r);
            run.studyId = study.id;
            run.operatorName = study.operatorName;
            QVERIFY(store.addMappingRun(run));
            PositionDose d;
            d.runId = run.id;
            d.position = mon.id;
            d.dosimeter = run.id;
            d.state = PositionState::Valid;
            d.doseKGy = 20;
            d.expanded = 0.8;
            d.randomRel = 0.02;
            d.imported = true;
            d.source = QStringLiteral("alanine");
            d.operatorName = study.operatorName;
            PositionDose e = d;
            e.position = edge.id;
            e.dosimeter = run.id + QStringLiteral("-E");
            e.doseKGy = 24;
            QVERIFY(store.addMappingDoses({d, e}));
        }
        MappingApproval approval;
        approval.studyId = study.id;
        approval.approved = true;
        approval.approver = QStringLiteral("ben");
        QVERIFY(store.addMappingApproval(approval));
        // The New job dialog offers the study's monitoring positions only, fills in its process
        // and takes no limits; the store checks what it gives as it checks the command line's.
        NewJobDialog dialog({*store.mappingStudy(study.id)});
        const auto limits = dialog.findChildren<QDoubleSpinBox*>();
        limits[0]->setValue(10);
        QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("jobId")), "RJ");
        dialog.findChild<QCheckBox*>()->setChecked(true);
        dialog.findChild<QComboBox*>(QStringLiteral("study"))->setCurrentIndex(1);
        auto* positions = dialog.findChild<QComboBox*>(QStringLiteral("position"));
        QCOMPARE(positions->count(), 1);
        QCOMPARE(positions->itemText(0), mon.id);
        QVERIFY(!limits[0]->isEnabled() && !limits[1]->isEnabled());
        auto* value = dialog.findChild<QLineEdit*>(QStringLiteral("processValue"));
        auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(ok->isEnabled());
        value->setText(QStringLiteral("fast"));
        QVERIFY(!ok->isEnabled());
        value->setText(QStringLiteral("0.3"));
        auto refused = store.addJob(dialog.job());
        QVERIFY(!refused);
        QVERIFY2(
            refused.error().startsWith(QLatin1String("the process 0.3 m/min is not study AS's")),
            qPrintable(refused.error()));
        dialog.findChild<QComboBox*>(QStringLiteral("study"))->setCurrentIndex(0);
        QVERIFY(!dialog.job().routine() && limits[0]->isEnabled());
        dialog.findChild<QComboBox*>(QStringLiteral("study"))->setCurrentIndex(1);
        Job job = dialog.job();
        QCOMPARE(job.processValue, study.processValue);
        QVERIFY(job.routine() && job.training && !job.dminKGy);
        job.operatorName = QStringLiteral("ana");
        auto added = store.addJob(job);
        QVERIFY2(added, qPrintable(added.error()));
        readThree(job.id);
        const QString text = window_->readView()->decision()->text();
        QVERIFY2(text.contains(QLatin1String("Routine: study AS (approved by ben), MON")),
                 qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("\nD2: ")) && text.contains(QLatin1String("-> Dmin ")),
                 qPrintable(text));
    }

    // The Read view reads a mapping run's film at a position through the command line's use
    // case: stored as the run's dose (no job record), shown with its flags; a position read
    // already and the simulated head for a study that is not training are refused with its words.
    void readViewReadsAMappingRun() {
        Store& store = *bench_.store;
        for (const char* id : {"TS", "RS"}) {
            MappingStudy study;
            study.id = QString::fromLatin1(id);
            study.minRequiredKGy = 5;
            study.maxAcceptableKGy = 60;
            study.training = study.id == QLatin1String("TS");
            study.operatorName = QStringLiteral("ana");
            QVERIFY(store.addMappingStudy(study));
            for (const char* position : {"MON", "EDGE"}) {
                MappingPosition p;
                p.studyId = study.id;
                p.id = QString::fromLatin1(position);
                p.monitoring = p.id == QLatin1String("MON");
                p.operatorName = study.operatorName;
                QVERIFY(store.addMappingPosition(p));
            }
            MappingRun run;
            run.id = study.id + QStringLiteral("-1");
            run.studyId = study.id;
            run.operatorName = study.operatorName;
            QVERIFY(store.addMappingRun(run));
        }
        ReadView* view = window_->readView();
        view->reloadChoices(QStringLiteral("T1"), bench_.calibrationId);
        auto* dosimeter = window_->findChild<QLineEdit*>(QStringLiteral("dosimeter"));
        auto readAt = [&](const char* run, const char* position, const char* film) {
            view->chooseRun(QString::fromLatin1(run), QString::fromLatin1(position));
            QVERIFY(view->readingRun());
            dosimeter->setText(QString::fromLatin1(film));
            for (int i = 0; i < 3; ++i)
                session_->poll(true); // the job's own capture must not take the film
            window_->action(QStringLiteral("capture"))->trigger();
        };
        readAt("TS-1", "EDGE", "F1");
        const QString stored = view->hint()->text();
        QVERIFY2(stored.startsWith(QLatin1String("Stored for run TS-1 at EDGE: dosimeter F1 "
                                                 "(valid)")) &&
                     stored.contains(QLatin1String("flags: training, simulated")),
                 qPrintable(stored));
        auto study = store.mappingStudy(QStringLiteral("TS"));
        QVERIFY(study && study->runs.at(0).doses.size() == 1);
        QCOMPARE(study->runs.at(0).doses.at(0).position, QStringLiteral("EDGE"));
        QCOMPARE(study->runs.at(0).doses.at(0).state, PositionState::Valid);
        QVERIFY(store.records(QStringLiteral("T1"))->empty());
        QVERIFY(view->findChild<QComboBox*>(QStringLiteral("mappingPosition"))
                    ->itemText(1)
                    .contains(QLatin1String("read: F1")));

        readAt("TS-1", "EDGE", "F2");
        QVERIFY2(view->hint()->text().contains(
                     QLatin1String("run TS-1 has a dose at EDGE already (dosimeter F1)")),
                 qPrintable(view->hint()->text()));
        readAt("RS-1", "MON", "F3");
        QVERIFY2(view->hint()->text().contains(QLatin1String("the reader runs on the simulated "
                                                             "head")),
                 qPrintable(view->hint()->text()));
        QCOMPARE(store.mappingStudy(QStringLiteral("RS"))->doses.size(), size_t(0));

        // Back to the job: the film is the job's again.
        view->chooseRun(QString());
        QVERIFY(!view->readingRun());
        QVERIFY(window_->findChild<QComboBox*>(QStringLiteral("job"))->isEnabled());
    }

    void recordsCorrectWithHistoryAndReviewBySomeoneElse() {
        reader_.served.insert(QStringLiteral("Simulated"), false);
        QVERIFY(bench_.check(true));
        readThree(QStringLiteral("R1"));
        RecordsView* records = window_->recordsView();
        QCOMPARE(records->table()->model()->rowCount(), 3);
        records->filter()->setText(QStringLiteral("D2"));
        QCOMPARE(records->table()->model()->rowCount(), 1);
        records->filter()->clear();
        records->table()->selectRow(0);
        const qint64 id = records->selectedRecord();
        // A reason is required, asked for in words, not with the command line's usage.
        const auto noReason = window_->correctRecord(id, 52, QString());
        QVERIFY(!noReason);
        QVERIFY2(spoken(noReason.error()), qPrintable(noReason.error()));
        QVERIFY(window_->correctRecord(id, 52, QStringLiteral("gauge reading")));
        QCOMPARE(records->selectedRecord(), id); // still on it, with both versions shown
        fitsSmallScreens("correction");
        QCOMPARE(records->history()->rowCount(), 2);
        QVERIFY2(records->history()->item(1, 6)->text().startsWith(
                     QStringLiteral("gauge reading (signed by ana, corrected record, ")),
                 qPrintable(records->history()->item(1, 6)->text()));

        const auto own = window_->reviewJob(true, QString());
        QVERIFY(!own);
        QVERIFY2(own.error().contains(QStringLiteral("another login")), qPrintable(own.error()));
        DoseWindow reviewer(
            *bench_.store, *session_,
            {QStringLiteral("ben"), bench_.clock(), settingsFile(), &password_, &pam_});
        reviewer.readView()->reloadChoices(QStringLiteral("R1"), bench_.calibrationId);
        const auto unexplained = reviewer.reviewJob(false, QString()); // returned needs a reason
        QVERIFY(!unexplained);
        QVERIFY2(spoken(unexplained.error()), qPrintable(unexplained.error()));
        password_.typed = "ana-secret"; // ana's password is not ben's signature
        const auto unsigned_ = reviewer.reviewJob(true, QString());
        QVERIFY2(!unsigned_ && unsigned_.error().contains(QStringLiteral("wrong password")),
                 qPrintable(unsigned_.error()));
        password_.typed = "ben-secret";
        QVERIFY(reviewer.reviewJob(true, QString()));
        QCOMPARE(password_.meaning, QStringLiteral("reviewed and approved"));
        const QString line = reviewer.recordsView()->reviewLine()->text();
        QVERIFY2(line.startsWith(QStringLiteral("Approved by ben")) &&
                     line.contains(QStringLiteral("signed by ben, reviewed and approved, ")),
                 qPrintable(line));
        QVERIFY(bench_.store->verify().whole);
        fitsSmallScreens("review");

        // The report says it all, and ties to the chain's newest row.
        const QString pdf = bench_.dir.filePath(QStringLiteral("r1.pdf"));
        const auto reportId = reviewer.writeReport(pdf);
        QVERIFY2(reportId, qPrintable(reportId.error()));
        const QString out = pdfText(pdf);
        const QStringList expected{*reportId,
                                   QStringLiteral("page 1 of "),
                                   QStringLiteral("Dose ± U, kGy (k)"),
                                   QStringLiteral("Reference dose (systematic)"),
                                   QStringLiteral("Chain head (qvr100dose verify --expect)"),
                                   QStringLiteral("Coverage check"),
                                   QStringLiteral("(seed 1,"),
                                   QStringLiteral("Uncertainty of each read"),
                                   QStringLiteral("Corrections: the original values"),
                                   QStringLiteral("Signatures"),
                                   QStringLiteral("Reviewed and approved ben, signed"),
                                   QStringLiteral("UTC (+01:00)"),
                                   QStringLiteral("approves them for release"),
                                   QStringLiteral("Performed ana"),
                                   QStringLiteral("Corrected ana, signed"),
                                   QStringLiteral("corrected record: record"),
                                   QStringLiteral("Accepted calibration"),
                                   QStringLiteral("reader_check_failed_after"),
                                   QStringLiteral("outside_window"),
                                   QStringLiteral("Dose report of job R1"),
                                   QStringLiteral("syringes"),
                                   QStringLiteral("LOT-A"),
                                   QStringLiteral("model power"),
                                   QStringLiteral("NPL-2026-117"),
                                   QStringLiteral("valid until 2027-06-30"),
                                   QStringLiteral("head serial 1234 at 600 nm"),
                                   QStringLiteral("Last reader check passed 2026-12-07"),
                                   QStringLiteral("D - U >= Dmin and D + U <= Dmax"),
                                   QStringLiteral("Dmin 5 kGy, Dmax 30 kGy"),
                                   QStringLiteral("D1 2 of 2"),
                                   QStringLiteral("D2 1 of 1"),
                                   QStringLiteral("gauge reading"),
                                   QStringLiteral("approved by ben"),
                                   *bench_.store->headHash()};
        for (const QString& e : expected)
            QVERIFY2(out.contains(e), qPrintable(e + QStringLiteral(" not in: ") + out));

        // The command line writes the same report.
        const QString fromCli = bench_.dir.filePath(QStringLiteral("r1-cli.pdf"));
        QCOMPARE(runCli({QStringLiteral("job"), QStringLiteral("report"), QStringLiteral("R1"),
                         QStringLiteral("--pdf"), fromCli}),
                 0);
        const QString cliText = pdfText(fromCli);
        for (const QString& e : expected.mid(1))
            QVERIFY2(cliText.contains(e), qPrintable(e + QStringLiteral(" not in: ") + cliText));
    }

    // The dialog says who signs and what it means, and never shows the password.
    void signingDialogSaysWhatItSigns() {
        SigningDialog dialog({QStringLiteral("ben"), QStringLiteral("Ben Ross"),
                              QStringLiteral("reviewed and approved"),
                              QStringLiteral("approve job R1")});
        QVERIFY(dialog.statement()->text().contains(QStringLiteral(
            "sign as Ben Ross (ben).\nYour signature means \"reviewed and approved\"")));
        QCOMPARE(dialog.passwordField()->echoMode(), QLineEdit::Password);
        QTest::keyClicks(dialog.passwordField(), "ben-secret");
        QCOMPARE(dialog.takePassword(), QByteArray("ben-secret"));
        QVERIFY(dialog.passwordField()->text().isEmpty());
    }

    void trainingJobIsNeverApproved() {
        readThree(QStringLiteral("T1"));
        DoseWindow reviewer(
            *bench_.store, *session_,
            {QStringLiteral("ben"), bench_.clock(), settingsFile(), &password_, &pam_});
        reviewer.readView()->reloadChoices(QStringLiteral("T1"), bench_.calibrationId);
        const auto approved = reviewer.reviewJob(true, QString());
        QVERIFY(!approved);
        QVERIFY(approved.error().contains(QStringLiteral("training")));
        // An assessor sees at once that nothing here was read on film for release.
        const QString pdf = bench_.dir.filePath(QStringLiteral("t1.pdf"));
        QCOMPARE(runCli({QStringLiteral("job"), QStringLiteral("report"), QStringLiteral("T1"),
                         QStringLiteral("--pdf"), pdf}),
                 0);
        const QString text = pdfText(pdf);
        for (const char* e : {"TRAINING JOB", "(simulated head: no film was read)",
                              "a training job is never approved"})
            QVERIFY2(text.contains(QLatin1String(e)), qPrintable(QLatin1String(e) + text));
    }

    void trendPlotsReadingsAndCaptures() {
        session_->setDosimeter(QStringLiteral("D1"));
        for (int i = 0; i < 7; ++i)
            session_->poll(true);
        QCOMPARE(window_->trendView()->readings()->count(), 7);
        QCOMPARE(window_->trendView()->captures()->count(), 1);
        // The line does not join across the time the film was out.
        reader_.served.insert(QStringLiteral("lblPresent"), QStringLiteral("No Film"));
        session_->poll(false);
        reader_.served.insert(QStringLiteral("lblPresent"), QStringLiteral("Film"));
        for (int i = 0; i < 2; ++i)
            session_->poll(true);
        QCOMPARE(window_->trendView()->segments(), 2);
        QCOMPARE(window_->trendView()->readings()->count(), 2);
    }

    void readerCheckTakesOnlyNewResults() {
        ReaderCheckView* view = window_->checkView();
        FilterSet set;
        set.certificate = QStringLiteral("ND-2026-4");
        set.tolerancePercent = 1;
        set.certified[600] = {{"na", 0.3}, {"nb", 1.0}, {"nc", 2.0}};
        view->setFilterSet(set);
        QVERIFY(window_->readView()->warning()->isVisibleTo(window_.get()));
        auto serve = [&](const char* state, const char* na, const char* nb, const char* nc) {
            reader_.served.insert(QStringLiteral("State"), QString::fromLatin1(state));
            reader_.served.insert(QStringLiteral("na"), QString::fromLatin1(na));
            reader_.served.insert(QStringLiteral("nb"), QString::fromLatin1(nb));
            reader_.served.insert(QStringLiteral("nc"), QString::fromLatin1(nc));
            session_->poll(false);
        };
        // Results left from an earlier check are not taken; nc is out by 2.5 %.
        serve("reading", "0.295", "1.004", "2.050");
        serve("filter check", "0.295", "1.004", "2.050");
        QVERIFY(!view->record());
        serve("filter check", "0.301", "1.004", "2.050");
        QCOMPARE(view->results()->item(1, 2)->text(), QStringLiteral("-"));
        QCOMPARE(view->results()->item(2, 0)->text(), QStringLiteral("Dark (nc)"));
        serve("filter check", "0.301", "1.003", "2.050");
        serve("filter check", "0.301", "1.003", "2.051");
        password_.typed = "guess"; // not recorded unsigned
        QVERIFY(!view->record());
        QVERIFY2(view->statusLine()->text().contains(QStringLiteral("wrong password")),
                 qPrintable(view->statusLine()->text()));
        password_.typed = "ana-secret";
        auto failed = view->record();
        QVERIFY2(view->statusLine()->text().contains(
                     QStringLiteral("signed by ana, performed reader check, ")),
                 qPrintable(view->statusLine()->text()));
        QVERIFY(failed && !failed->passed);
        fitsSmallScreens("failed check");
        QVERIFY(window_->checkStatus()->text().contains(QStringLiteral("no passing")));
        serve("reading", "0.301", "1.003", "2.051");
        serve("filter check", "0.301", "1.003", "2.051");
        serve("filter check", "0.300", "1.002", "2.004");
        auto passed = view->record();
        QVERIFY(passed && passed->passed);
        // Recorded during the reader's check: the line keeps saying so, and once the reader
        // leaves its check it says which check was recorded, never "without results".
        serve("filter check", "0.300", "1.002", "2.004");
        QVERIFY2(view->statusLine()->text().contains(QStringLiteral("recorded")),
                 qPrintable(view->statusLine()->text()));
        serve("reading", "0.300", "1.002", "2.004");
        QVERIFY2(!view->statusLine()->text().contains(QStringLiteral("is in its filter check")),
                 qPrintable(view->statusLine()->text()));
        QVERIFY2(view->statusLine()->text().contains(
                     QStringLiteral("recorded as check %1").arg(passed->id)),
                 qPrintable(view->statusLine()->text()));
        QVERIFY(window_->checkStatus()->text().startsWith(QStringLiteral("last passing")));
        QVERIFY(!window_->readView()->warning()->isVisibleTo(window_.get()));
        const auto checks = bench_.store->checks();
        QVERIFY(checks && checks->size() == 2);
        QCOMPARE(checks->at(1).certificate, QStringLiteral("ND-2026-4"));
        QVERIFY(bench_.store->verify().whole);
    }

    void calibrationImportsAndFits() {
        session_->poll(false); // the reader's head and wavelength
        fitsSmallScreens("opened");
        CalibrationView* view = window_->calibrationView();
        QVERIFY(!view->importCsv(bench_.dir.filePath(QStringLiteral("missing.csv"))));
        const auto id =
            view->importCsv(QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv"));
        QVERIFY2(id, qPrintable(id.error()));
        QCOMPARE(view->current(), *id);
        fitsSmallScreens("import");
        QVERIFY(view->fit());
        fitsSmallScreens("fit");
        QVERIFY(!view->fitTable()
                     ->findItems(QStringLiteral("calibrated range"), Qt::MatchExactly)
                     .isEmpty());
        QVERIFY(
            !view->fitTable()->findItems(QStringLiteral("CV at"), Qt::MatchStartsWith).isEmpty());

        // The coverage check runs off the window's thread and shows what the command line's
        // does for the same seed.
        QSignalSpy checked(view, &CalibrationView::coverageChecked);
        QVERIFY(view->checkCoverage(30, 4));
        QVERIFY(!view->checkCoverage(30, 4)); // one at a time
        QVERIFY(checked.wait(120000));
        const CoverageReport expected =
            runCoverageCheck(*coverageCheckPlan(*bench_.store, *id), 30, 4);
        QTableWidget* table = view->coverageTable();
        QCOMPARE(size_t(table->rowCount()), expected.levels.size());
        QVERIFY(table->rowCount() > 0);
        for (int r = 0; r < table->rowCount(); ++r) {
            const CoverageAtDose& at = expected.levels[r];
            QCOMPARE(table->item(r, 0)->text(), numberText(at.dose));
            QCOMPARE(table->item(r, 1)->text(), QString::number(at.coveragePercent, 'f', 1));
            QCOMPARE(table->item(r, 2)->text(), QString::number(at.uOverError, 'f', 2));
        }
        fitsSmallScreens("coverage");
    }

    // A calibration without a certificate or a validity is not traceable: said at import, and
    // refused for any job but a training one when chosen; with both it serves a real job.
    void untraceableCalibrationServesTrainingOnly() {
        session_->poll(false);
        CalibrationView* view = window_->calibrationView();
        const QString csv = QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv");
        CalibrationDetails dated;
        dated.validUntil = QDate(2027, 6, 30);
        const auto bare = view->importCsv(csv, dated);
        QVERIFY2(bare, qPrintable(bare.error()));
        QVERIFY(view->fit());
        QVERIFY(!view->fitTable()
                     ->findItems(QStringLiteral("training jobs only"), Qt::MatchContains)
                     .isEmpty());
        window_->readView()->reloadChoices(QStringLiteral("R1"), *bare);
        QVERIFY(!session_->job());
        QVERIFY2(window_->readView()->hint()->text().contains(QStringLiteral("training jobs only")),
                 qPrintable(window_->readView()->hint()->text()));
        window_->readView()->reloadChoices(QStringLiteral("T1"), *bare);
        QVERIFY(session_->job());
        // Its certificate, added later as a new version, makes it serve the real job.
        Amendment later;
        later.subject = kCalibrationSubject;
        later.subjectId = QString::number(*bare);
        later.certificate = QStringLiteral("NPL-2026-117");
        QVERIFY(!view->amend(later)); // no reason
        later.reason = QStringLiteral("certificate received");
        QCOMPARE(*view->amend(later), 2);
        QVERIFY(
            !view->fitTable()->findItems(QStringLiteral("version 2"), Qt::MatchExactly).isEmpty());
        window_->readView()->reloadChoices(QStringLiteral("R1"), *bare);
        QVERIFY(session_->job());

        CalibrationDetails certified = dated;
        certified.certificate = QStringLiteral("NPL-2026-118");
        certified.windowMinHours = 2;
        certified.windowMaxHours = 1; // a window that ends before it begins
        QVERIFY(!view->importCsv(csv, certified));
        certified.windowMaxHours = 48;
        const auto traceable = view->importCsv(csv, certified);
        QVERIFY2(traceable, qPrintable(traceable.error()));
        QVERIFY(view->fit());
        window_->readView()->reloadChoices(QStringLiteral("R1"), *traceable);
        QVERIFY(session_->job());
        const auto stored = bench_.store->calibration(*traceable);
        QVERIFY(stored);
        QCOMPARE(stored->certificate, QStringLiteral("NPL-2026-118"));
        QCOMPARE(stored->windowMaxHours.value_or(0), 48.0);
    }

    // The forms give what was typed; without a certificate the import form says, before
    // anything is imported, that the calibration will serve training only.
    void formsGiveWhatWasTyped() {
        CalibrationImportDialog import(QStringLiteral("/tmp/cal.csv"), QDate(2026, 12, 7));
        auto* note = import.findChild<QLabel*>(QStringLiteral("note"));
        QVERIFY(import.details().trainingOnly());
        QVERIFY(note->text().contains(QStringLiteral("training jobs only")));
        QTest::keyClicks(import.findChild<QLineEdit*>(QStringLiteral("certificate")), "CERT-9");
        QVERIFY(import.details().trainingOnly()); // no validity stated yet
        import.findChild<QCheckBox*>(QStringLiteral("dated"))->setChecked(true);
        QVERIFY(!import.details().trainingOnly());
        QVERIFY(note->isHidden());
        QCOMPARE(import.details().certificate, QStringLiteral("CERT-9"));
        QCOMPARE(import.details().validUntil, QDate(2027, 12, 7));
        QVERIFY(!import.details().uDosePercent);
        QCOMPARE(import.file(), QStringLiteral("/tmp/cal.csv"));

        NewJobDialog job;
        QCOMPARE(job.job().rule, DecisionRule::Guarded); // the default, as on the command line
        job.findChild<QComboBox*>(QStringLiteral("rule"))->setCurrentIndex(1);
        QCOMPARE(job.job().rule, DecisionRule::Simple);
        QVERIFY(!job.job().bothWavelengths); // one, as on the command line
        job.findChild<QComboBox*>(QStringLiteral("wavelengths"))->setCurrentIndex(1);
        QVERIFY(job.job().bothWavelengths);

        BatchDialog batch(QDate(2026, 12, 7));
        QTest::keyClicks(batch.findChild<QLineEdit*>(QStringLiteral("batchId")), "LOT-F");
        const auto boxes = batch.findChildren<QDoubleSpinBox*>();
        QCOMPARE(boxes.size(), 6); // thickness and its uncertainty, A0 and its at 510 and 600 nm
        boxes[2]->setValue(0.121);
        boxes[3]->setValue(0.003);
        boxes[5]->setValue(0.004); // for a wavelength with no background: not kept
        const Batch b = batch.batch();
        QCOMPARE(b.id, QStringLiteral("LOT-F"));
        QCOMPARE(b.thicknessUm, 50.0);
        QCOMPARE(b.background.size(), size_t(1)); // "none" at 600 nm is none
        QCOMPARE(b.a0(510).value_or(0), 0.121);
        QCOMPARE(b.uBackground, (std::map<int, double>{{510, 0.003}}));
        QCOMPARE(b.expires, QDate(2027, 12, 7));

        // A new version gives only what changed, and is not made without a reason.
        Batch stored = b;
        stored.background[600] = 0.0834567890123; // shown rounded, and left alone
        AmendmentDialog again(stored);
        auto* ok = again.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(!ok->isEnabled());
        QTest::keyClicks(again.findChild<QPlainTextEdit*>(QStringLiteral("reason")), "re-read");
        QVERIFY(ok->isEnabled());
        QVERIFY(again.amendment().background.empty() && again.amendment().uBackground.empty());
        again.findChild<QDoubleSpinBox*>(QStringLiteral("background510"))->setValue(0.125);
        const Amendment a = again.amendment();
        QCOMPARE(a.subjectId, QStringLiteral("LOT-F"));
        QCOMPARE(a.reason, QStringLiteral("re-read"));
        QCOMPARE(a.background, (std::map<int, double>{{510, 0.125}}));
        QCOMPARE(a.uBackground, (std::map<int, double>{{510, 0.003}})); // stated for the new A0

        Calibration c;
        c.id = 4;
        c.certificate = QStringLiteral("CERT-1");
        AmendmentDialog certify(c, QDate(2026, 12, 7));
        QTest::keyClicks(certify.findChild<QLineEdit*>(QStringLiteral("certificate")), "b");
        const Amendment ca = certify.amendment();
        QCOMPARE(ca.subjectId, QStringLiteral("4"));
        QCOMPARE(ca.certificate, QStringLiteral("CERT-1b"));
        QVERIFY(!ca.validUntil.isValid()); // not ticked
    }

    // A batch added in the window, with a background per wavelength, takes an import at once.
    void batchAddedInTheWindow() {
        session_->poll(false);
        CalibrationView* view = window_->calibrationView();
        Batch b;
        b.id = QStringLiteral("LOT-W");
        b.thicknessUm = 50;
        b.uThicknessUm = 0.8;
        b.background = {{510, 0.12}, {600, 0.09}};
        b.expires = QDate(2027, 12, 31);
        QVERIFY(view->addBatch(b));
        b.id = QStringLiteral(" ");
        QVERIFY(!view->addBatch(b));
        const auto stored = bench_.store->batch(QStringLiteral("LOT-W"));
        QVERIFY(stored);
        QCOMPARE(stored->operatorName, QStringLiteral("ana"));
        QCOMPARE(stored->a0(600).value_or(0), 0.09);
        const auto id =
            view->importCsv(QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv"));
        QVERIFY2(id, qPrintable(id.error()));
        QCOMPARE(bench_.store->calibration(*id)->batchId, QStringLiteral("LOT-W"));
    }

    // Each state's words and tone: test_dose_capture; here that the bar follows the polls.
    void topBarFollowsTheReader() {
        session_->poll(true);
        QCOMPARE(window_->linkBar()->stateText(), QStringLiteral("simulated"));
        reader_.running = false;
        session_->poll(false);
        QCOMPARE(window_->linkBar()->stateText(), QStringLiteral("not running"));
        QCOMPARE(window_->linkBar()->stateTone(), Tone::Off);
        QCOMPARE(window_->linkBar()->absorbanceText(), QStringLiteral("—"));
    }

    // A faulted reader's labels are not readings: the bar shows none, and says "fault" first.
    void topBarSaysFaultInWords() {
        reader_.served.insert(QStringLiteral("Fault"),
                              QStringLiteral("cannot open the card: No such file or directory: "
                                             "comedi device /dev/comedi0 is missing"));
        session_->poll(false);
        LinkBar* bar = window_->linkBar();
        QVERIFY2(bar->stateText().startsWith(QStringLiteral("fault: cannot open")),
                 qPrintable(bar->stateText()));
        QCOMPARE(bar->stateTone(), Tone::Bad);
        QCOMPARE(bar->filmText(), QStringLiteral("—"));
        QCOMPARE(bar->absorbanceText(), QStringLiteral("—"));
        fitsSmallScreens("fault");
    }

    // A reader that is still starting serves its window's placeholders ("SN 1100", "z.ero"):
    // the bar shows none of them as the head or a reading.
    void topBarShowsNoPlaceholders() {
        reader_.served.insert(QStringLiteral("State"), QStringLiteral("starting"));
        reader_.served.insert(QStringLiteral("lblSN"), QStringLiteral("SN 1100"));
        reader_.served.insert(QStringLiteral("lblZero"), QStringLiteral("z.ero"));
        session_->poll(false);
        LinkBar* bar = window_->linkBar();
        QCOMPARE(bar->stateText(), QStringLiteral("starting"));
        QCOMPARE(bar->headText(), QStringLiteral("—"));
        QCOMPARE(bar->absorbanceText(), QStringLiteral("—"));
    }

    // What another desk or the command line writes shows without a tab switch, on the
    // window's next tick; nothing is reloaded while nothing changed.
    void viewsFollowWritesElsewhere() {
        QVERIFY(!window_->checkDatabase());
        {
            auto other = Store::open(bench_.path, bench_.clock());
            QVERIFY(other);
            Batch b;
            b.id = QStringLiteral("LOT-B");
            b.thicknessUm = 50;
            b.background = {{600, 0.1}};
            b.operatorName = QStringLiteral("ben");
            QVERIFY((*other)->addBatch(b));
            Job job{QStringLiteral("R2"),
                    QStringLiteral("gloves"),
                    5.0,
                    30.0,
                    false,
                    QStringLiteral("ben"),
                    {},
                    DecisionRule::Guarded,
                    true,
                    false,
                    {},
                    {},
                    0,
                    {}};
            QVERIFY((*other)->addJob(job));
        }
        QVERIFY(window_->checkDatabase());
        auto* batches = window_->calibrationView()->findChild<QComboBox*>(QStringLiteral("batch"));
        QVERIFY(batches && batches->findText(QStringLiteral("LOT-B")) >= 0);
        auto* jobs = window_->readView()->findChild<QComboBox*>();
        bool listed = false;
        for (QComboBox* box : window_->readView()->findChildren<QComboBox*>())
            listed |= box->findData(QStringLiteral("R2")) >= 0 ||
                      box->findText(QStringLiteral("R2"), Qt::MatchStartsWith) >= 0;
        QVERIFY(jobs && listed);
        QVERIFY(!window_->checkDatabase());
    }

    // A size saved on a larger screen comes back no larger than this one.
    void idleWindowLocksUntilItsOperatorSigns() {
        // The lab's idle time is read when the settings change elsewhere.
        QCOMPARE(runCli({QStringLiteral("lab"), QStringLiteral("set"),
                         QStringLiteral("--idle-lock-minutes"), QStringLiteral("5")}),
                 0);
        QVERIFY(window_->checkDatabase());
        QAction* capture = window_->action(QStringLiteral("capture"));
        QAction* exportCsv = window_->action(QStringLiteral("exportCsv"));
        exportCsv->setEnabled(false); // as a view may have left it
        bench_.now = bench_.now.addSecs(4 * 60);
        QVERIFY(!window_->checkIdle());
        QTest::keyClick(window_->findChild<QLineEdit*>(QStringLiteral("dosimeter")), Qt::Key_A);
        bench_.now = bench_.now.addSecs(4 * 60); // 8 minutes open, 4 since the key
        QVERIFY(!window_->checkIdle());
        bench_.now = bench_.now.addSecs(61);
        QVERIFY(window_->checkIdle());
        QVERIFY(window_->isLocked());
        QVERIFY(!window_->readView()->isVisible());
        QVERIFY(!capture->isEnabled());
        QVERIFY(window_->lockPage()->statement()->text().contains(QStringLiteral("5 minutes")));

        // Only the operator's own password opens it; another's counts as a wrong one.
        LockPage* page = window_->lockPage();
        struct Try {
            const char* password;
            bool opens;
        };
        for (const Try& t : {Try{"", false}, Try{"ben-secret", false}, Try{"ana-secret", true}}) {
            QTest::keyClicks(page->passwordField(), QString::fromLatin1(t.password));
            QTest::mouseClick(page->unlockButton(), Qt::LeftButton);
            QCOMPARE(window_->isLocked(), !t.opens);
            QVERIFY(page->passwordField()->text().isEmpty());
            QCOMPARE(page->refusal()->isVisibleTo(page), !t.opens);
        }
        const auto failures = bench_.store->signingFailures(QStringLiteral("ana"));
        QVERIFY(failures && failures->size() == 1);
        QVERIFY(window_->readView()->isVisible());
        QVERIFY(capture->isEnabled());
        QVERIFY(!exportCsv->isEnabled());     // as it was before the lock
        QVERIFY(!window_->checkIdle()); // the unlock counts as use
    }

    void savedSizeNeverExceedsTheScreen() {
        window_->resize(3000, 2000);
        window_->close();
        window_.reset();
        window_ = std::make_unique<DoseWindow>(*bench_.store, *session_,
                                               DoseWindowEnv{QStringLiteral("ana"), bench_.clock(),
                                                             settingsFile(), &password_, &pam_});
        const QRect screen = window_->screen()->availableGeometry();
        QVERIFY2(window_->width() <= screen.width() && window_->height() <= screen.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(window_->width()).arg(window_->height())));
    }

    void everyActionHasAKeyAndSettingsStayApart() {
        for (QMenu* menu : window_->menuBar()->findChildren<QMenu*>())
            for (QAction* a : menu->actions())
                if (!a->isSeparator() && !a->menu())
                    QVERIFY2(!a->shortcut().isEmpty(), qPrintable(a->text()));
        QCOMPARE(window_->action(QStringLiteral("quit"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_Q));
        window_->close();
        QSettings settings(settingsFile(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("read/job")).toString(), QStringLiteral("T1"));
        QCOMPARE(settings.value(QStringLiteral("read/batch")).toString(), QStringLiteral("LOT-A"));
    }
};

QTEST_MAIN(TestDoseWindow)
#include "test_dose_window.moc"
