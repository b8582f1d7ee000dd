// The dose window offscreen over a fake reader: the capture action records the typed dosimeter
// and colours its row, the top bar says the reader's state, and the settings go to the window's
// own file.

#include "DoseBench.h"

#include "dose/ui/CalibrationView.h"
#include "dose/ui/DoseWindow.h"
#include "dose/ui/LinkBar.h"
#include "dose/ui/ReadView.h"
#include "dose/ui/ReaderCheckView.h"
#include "dose/ui/RecordsView.h"
#include "dose/ui/Tones.h"
#include "dose/ui/TrendView.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScatterSeries>
#include <QSettings>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace qvr::dose;
using namespace qvr::dose::test;

class TestDoseWindow : public QObject {
    Q_OBJECT

    DoseBench bench_;
    FakeReader reader_;
    std::unique_ptr<CaptureSession> session_;
    std::unique_ptr<DoseWindow> window_;

    // A message for a person: no program name, option or usage line.
    static bool spoken(const QString& text) {
        return !text.isEmpty() && !text.contains(QLatin1String("--")) &&
               !text.contains(QLatin1String("Usage")) &&
               !text.contains(QLatin1String("qvr100dose"));
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
        session_ = std::make_unique<CaptureSession>(*bench_.store, reader_, bench_.clock(),
                                                    QStringLiteral("ana"));
        window_ = std::make_unique<DoseWindow>(
            *bench_.store, *session_,
            DoseWindowEnv{QStringLiteral("ana"), bench_.clock(), settingsFile()});
        window_->readView()->reloadChoices(QStringLiteral("T1"), bench_.calibrationId);
        window_->show();
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
        records->table()->selectRow(0);
        QCOMPARE(records->history()->rowCount(), 2);
        QCOMPARE(records->history()->item(1, 6)->text(), QStringLiteral("gauge reading"));

        const auto own = window_->reviewJob(true, QString());
        QVERIFY(!own);
        QVERIFY2(own.error().contains(QStringLiteral("another login")), qPrintable(own.error()));
        DoseWindow reviewer(*bench_.store, *session_,
                            {QStringLiteral("ben"), bench_.clock(), settingsFile()});
        reviewer.readView()->reloadChoices(QStringLiteral("R1"), bench_.calibrationId);
        const auto unexplained = reviewer.reviewJob(false, QString()); // returned needs a reason
        QVERIFY(!unexplained);
        QVERIFY2(spoken(unexplained.error()), qPrintable(unexplained.error()));
        QVERIFY(reviewer.reviewJob(true, QString()));
        QVERIFY(reviewer.recordsView()->reviewLine()->text().startsWith(
            QStringLiteral("Approved by ben")));
        QVERIFY(bench_.store->verify().whole);

        // The report says it all, and ties to the chain's newest row.
        const QString pdf = bench_.dir.filePath(QStringLiteral("r1.pdf"));
        const auto reportId = reviewer.writeReport(pdf);
        QVERIFY2(reportId, qPrintable(reportId.error()));
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString out = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        const QStringList expected{*reportId,
                                   QStringLiteral("page 1 of "),
                                   QStringLiteral("Reference dose (systematic)"),
                                   QStringLiteral("Uncertainty of each read"),
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
    }

    void trainingJobIsNeverApproved() {
        readThree(QStringLiteral("T1"));
        DoseWindow reviewer(*bench_.store, *session_,
                            {QStringLiteral("ben"), bench_.clock(), settingsFile()});
        reviewer.readView()->reloadChoices(QStringLiteral("T1"), bench_.calibrationId);
        const auto approved = reviewer.reviewJob(true, QString());
        QVERIFY(!approved);
        QVERIFY(approved.error().contains(QStringLiteral("training")));
    }

    void trendPlotsReadingsAndCaptures() {
        session_->setDosimeter(QStringLiteral("D1"));
        for (int i = 0; i < 7; ++i)
            session_->poll(true);
        QCOMPARE(window_->trendView()->readings()->count(), 7);
        QCOMPARE(window_->trendView()->captures()->count(), 1);
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
        serve("filter check", "0.301", "1.003", "2.050");
        serve("filter check", "0.301", "1.003", "2.051");
        auto failed = view->record();
        QVERIFY(failed && !failed->passed);
        QVERIFY(window_->checkStatus()->text().contains(QStringLiteral("no passing")));
        serve("reading", "0.301", "1.003", "2.051");
        serve("filter check", "0.301", "1.003", "2.051");
        serve("filter check", "0.300", "1.002", "2.004");
        auto passed = view->record();
        QVERIFY(passed && passed->passed);
        QVERIFY(window_->checkStatus()->text().startsWith(QStringLiteral("last passing")));
        QVERIFY(!window_->readView()->warning()->isVisibleTo(window_.get()));
        const auto checks = bench_.store->checks();
        QVERIFY(checks && checks->size() == 2);
        QCOMPARE(checks->at(1).certificate, QStringLiteral("ND-2026-4"));
        QVERIFY(bench_.store->verify().whole);
    }

    void calibrationImportsAndFits() {
        session_->poll(false); // the reader's head and wavelength
        CalibrationView* view = window_->calibrationView();
        QVERIFY(!view->importCsv(bench_.dir.filePath(QStringLiteral("missing.csv"))));
        const auto id =
            view->importCsv(QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv"));
        QVERIFY2(id, qPrintable(id.error()));
        QCOMPARE(view->current(), *id);
        QVERIFY(view->fit());
        QVERIFY(!view->fitTable()
                     ->findItems(QStringLiteral("calibrated range"), Qt::MatchExactly)
                     .isEmpty());
        QVERIFY(
            !view->fitTable()->findItems(QStringLiteral("CV at"), Qt::MatchStartsWith).isEmpty());
    }

    // Each state's words and tone: test_dose_capture; here that the bar follows the polls.
    void topBarFollowsTheReader() {
        session_->poll(true);
        QCOMPARE(window_->linkBar()->stateText(), QStringLiteral("simulated"));
        reader_.running = false;
        session_->poll(false);
        QCOMPARE(window_->linkBar()->stateText(), QStringLiteral("not running"));
        QCOMPARE(window_->linkBar()->stateTone(), Tone::Off);
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
