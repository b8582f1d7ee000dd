// The Mapping view offscreen over the synthetic product: the study's facts, approval state and
// tables, the heat map of the mean and of a chosen run, and the study's PDF with its sections;
// the same PDF from the command line, and a write that cannot be made is an error.

#include "DoseBench.h"
#include "FakeSigning.h"
#include "MappingStore.h"

#include "dose/cli/Cli.h"
#include "dose/ui/DoseWindow.h"
#include "dose/ui/HeatMapWidget.h"
#include "dose/ui/MappingView.h"
#include "dose/ui/PdfReport.h"
#include "dose/ui/Tones.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace qvr::dose;
using namespace qvr::dose::test;

namespace {

QString pdfText(const QString& pdf) {
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    text.waitForFinished(30000);
    return QString::fromUtf8(text.readAllStandardOutput()).simplified();
}

const MapCell* cellOf(const MappingMap& map, const QString& id) {
    for (const MapLayer& l : map.layers)
        for (const MapCell& c : l.cells)
            if (c.position == id)
                return &c;
    return nullptr;
}

} // namespace

class TestDoseMappingView : public QObject {
    Q_OBJECT

    DoseBench bench_;
    std::unique_ptr<qvr::test::FakeSigner> signer_;
    std::unique_ptr<MappingView> view_;

    // The missing dose of run R2, read later: nothing blocks approval after it.
    void fillTheGap() {
        PositionDose d;
        d.runId = QStringLiteral("R2");
        d.position = qvr::test::kInvalid;
        d.dosimeter = QStringLiteral("R2/late");
        d.state = PositionState::Valid;
        d.doseKGy = qvr::test::fieldDose(1, d.position);
        d.expanded = 0.04 * d.doseKGy;
        d.randomRel = qvr::test::kRandom;
        d.systematicRel = qvr::test::kSystematic;
        d.operatorName = qvr::test::kMaker;
        QVERIFY(bench_.store->addMappingDoses({d}));
    }

private slots:
    void init() {
        view_.reset();
        signer_.reset();
        bench_.store.reset();
        QFile::remove(bench_.path);
        QVERIFY(bench_.open());
        QVERIFY(qvr::test::storeProduct(*bench_.store, qvr::test::syntheticProduct()));
        for (const QString& who : {qvr::test::kMaker, qvr::test::kApprover})
            QVERIFY(qvr::test::grantRoles(*bench_.store, who, {Role::Metrologist}));
        signer_ = std::make_unique<qvr::test::FakeSigner>(*bench_.store);
        view_ = std::make_unique<MappingView>(*bench_.store, &signer_->signer, qvr::test::kApprover,
                                              bench_.clock());
        view_->resize(1100, 900);
        view_->show();
    }

    void showsTheStudyWithWhatBlocksIt() {
        QCOMPARE(view_->studyId(), QStringLiteral("S1"));
        QVERIFY(view_->facts()->text().contains(QStringLiteral("Cell 1")));
        QVERIFY(view_->facts()->text().contains(QStringLiteral("12.5 min: dwell per position")));
        QVERIFY(view_->facts()->text().contains(
            QStringLiteral("minimum required 25 kGy, maximum acceptable 60 kGy")));
        QVERIFY(view_->approval()->text().contains(
            QStringLiteral("run R2: no valid dose or bound at position L2-C1")));
        QCOMPARE(view_->approval()->property("tone").toInt(), int(Tone::Bad));
        QTableWidget* runs = view_->runTable();
        QCOMPARE(runs->rowCount(), 4); // three runs and their mean
        QCOMPARE(runs->item(1, 0)->text(), QStringLiteral("R2"));
        QVERIFY(runs->item(1, 1)->text().endsWith(QStringLiteral("kGy at L1-B2")));
        QCOMPARE(runs->item(1, 4)->text(), QStringLiteral("L2-C1"));
        QCOMPARE(runs->item(3, 0)->text(), QStringLiteral("mean"));
        QVERIFY2(view_->zones()->text().startsWith(
                     QStringLiteral("Minimum zone: L1-B1, L1-B2. Maximum zone: L3-A1, L3-A3.")),
                 qPrintable(view_->zones()->text()));
        QTableWidget* ratios = view_->ratioTable();
        QCOMPARE(ratios->rowCount(), 2);
        QCOMPARE(ratios->item(0, 0)->text(), QStringLiteral("L1-A1"));
        QCOMPARE(ratios->item(0, 1)->text(), QStringLiteral("Dmin/Dmon"));
        QCOMPARE(ratios->item(1, 4)->text(), QStringLiteral("2"));
        QCOMPARE(ratios->item(1, 5)->text(), QStringLiteral("3"));
    }

    void switchesBetweenTheMeanAndARun() {
        HeatMapWidget* map = view_->heatMap();
        QCOMPARE(view_->runs()->count(), 4);
        QCOMPARE(map->map().choice, QStringLiteral("mean over 3 runs"));
        QVERIFY(cellOf(map->map(), qvr::test::kInvalid)->value);
        view_->showRun(QStringLiteral("R2"));
        QCOMPARE(map->map().choice, QStringLiteral("run R2"));
        const MapCell* gap = cellOf(map->map(), qvr::test::kInvalid);
        QVERIFY(gap->hatched && !gap->value);
        // The run stays chosen when the database changes under the view.
        fillTheGap();
        view_->reload();
        QCOMPARE(view_->runId(), QStringLiteral("R2"));
        QVERIFY(cellOf(map->map(), qvr::test::kInvalid)->value);
        QCOMPARE(view_->approval()->property("tone").toInt(), int(Tone::Caution));
    }

    void mapsWrapToTheWidth() {
        HeatMapWidget* map = view_->heatMap();
        QVERIFY(map->heightForWidth(400) > map->heightForWidth(1400));
        QVERIFY(map->minimumHeight() >= map->heightForWidth(map->width()));
        const QImage shot = map->grab().toImage();
        QVERIFY(!shot.isNull());
    }

    void writesTheStudyPdfWithItsSections() {
        QSignalSpy said(view_.get(), &MappingView::spoke);
        const QString pdf = bench_.dir.filePath(QStringLiteral("S1-study.pdf"));
        auto id = view_->writeReport(pdf);
        QVERIFY2(id, qPrintable(id ? QString() : id.error()));
        QVERIFY(said.last().at(0).toString().contains(QStringLiteral("written to")));
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(*id));
        for (const char* section :
             {"Positions", "Doses by run", "Results per run", "Results of the study",
              "Ratios to the monitoring positions", "Heat map, mean over 3 runs",
              "Heat map, run R3", "What blocks approval", "Not approved", "cancels in the ratio",
              "L2-C1", "Dmin/Dmon", "Dmax/Dmon", "Coverage factor"})
            QVERIFY2(text.contains(QLatin1String(section)), section);
        QProcess images;
        images.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
        QVERIFY(images.waitForFinished(30000));
        // A header, a rule, then a line per image: the mean and three runs.
        QCOMPARE(QString::fromUtf8(images.readAllStandardOutput()).trimmed().count('\n') - 1, 4);

        fillTheGap();
        view_->reload();
        QVERIFY(view_->approve(QStringLiteral("checked")));
        QCOMPARE(view_->approval()->property("tone").toInt(), int(Tone::Good));
        QVERIFY(view_->approval()->text().contains(qvr::test::kApprover));
        QVERIFY(view_->writeReport(pdf));
        const QString approved = pdfText(pdf);
        QVERIFY(approved.contains(QStringLiteral("Approved quality")));
        QVERIFY(approved.contains(QStringLiteral("Approved for routine monitoring")));
        QVERIFY(!approved.contains(QStringLiteral("What blocks approval")));
    }

    // The maker imports a run's doses read elsewhere; approval is refused to the maker, as on
    // the command line, and given to another login.
    void importsARunAndApproves() {
        QVERIFY(!view_->approve(QString())); // the gap in run R2 blocks it
        const QString csv = bench_.dir.filePath(QStringLiteral("late.csv"));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("position,dosimeter,dose_kGy,U_kGy,k,source\n"
                "L2-C1,AL-R2-late,29.50,1.20,2,alanine\n");
        f.close();
        MappingView maker(*bench_.store, &signer_->signer, qvr::test::kMaker, bench_.clock());
        QSignalSpy said(&maker, &MappingView::spoke);
        QVERIFY(!maker.importRun(QStringLiteral("R9"), csv));
        QVERIFY(said.last().at(0).toString().startsWith(QStringLiteral("Not done: ")));
        auto imported = maker.importRun(QStringLiteral("R2"), csv);
        QVERIFY2(imported, qPrintable(imported ? QString() : imported.error()));
        QVERIFY(said.last().at(0).toString().startsWith(
            QStringLiteral("1 imported doses added to run R2")));
        maker.showRun(QStringLiteral("R2"));
        QCOMPARE(*cellOf(maker.heatMap()->map(), qvr::test::kInvalid)->value, 29.5);
        QCOMPARE(maker.approval()->property("tone").toInt(), int(Tone::Caution));
        QVERIFY(!maker.approve(QString()));
        QVERIFY(said.last().at(0).toString().startsWith(QStringLiteral("Not done: ")));

        view_->reload();
        QSignalSpy approverSaid(view_.get(), &MappingView::spoke);
        QVERIFY(view_->approve(QStringLiteral("checked")));
        QVERIFY(approverSaid.last().at(0).toString().startsWith(
            QStringLiteral("Study S1 approved by %1").arg(qvr::test::kApprover)));
        QCOMPARE(view_->approval()->property("tone").toInt(), int(Tone::Good));
    }

    void aWriteThatCannotBeMadeIsAnError_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("said");
        QTest::newRow("missing folder") << "no/such/folder/S1.pdf"
                                        << "cannot write";
        QTest::newRow("full device") << "full"
                                     << "No space left on device";
    }
    void aWriteThatCannotBeMadeIsAnError() {
        QFETCH(QString, target);
        QFETCH(QString, said);
        const QString path = bench_.dir.filePath(target);
        if (target == QLatin1String("full") &&
            ::mknod(qPrintable(path), S_IFCHR | 0600, makedev(1, 7)) != 0)
            QSKIP("making a device node needs root");
        auto written = view_->writeReport(path);
        QVERIFY(!written);
        QVERIFY2(written.error().contains(said), qPrintable(written.error()));
        // The command line shares the use case and exits 1.
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
        env.writeStudyPdf = writePdfStudyReport;
        QCOMPARE(runCli({QStringLiteral("mapping"), QStringLiteral("report"), QStringLiteral("S1"),
                         QStringLiteral("--pdf"), path},
                        env),
                 1);
        QVERIFY2(err.contains(said), qPrintable(err));
        const QString good = bench_.dir.filePath(QStringLiteral("cli.pdf"));
        QCOMPARE(runCli({QStringLiteral("mapping"), QStringLiteral("report"), QStringLiteral("S1"),
                         QStringLiteral("--pdf"), good},
                        env),
                 0);
        QVERIFY(pdfText(good).contains(QStringLiteral("Dose-mapping study S1")));
    }

    void withoutAStudySaysHowToAddOne() {
        DoseBench empty;
        QVERIFY(empty.open());
        MappingView view(*empty.store, nullptr, QStringLiteral("ana"), empty.clock());
        view.show();
        QVERIFY(view.studyId().isEmpty());
        QVERIFY(view.facts()->text().contains(QStringLiteral("mapping add")));
        QVERIFY(view.heatMap()->isHidden());
        QVERIFY(!view.writeReport(empty.dir.filePath(QStringLiteral("none.pdf"))));
        QVERIFY(!QFile::exists(empty.dir.filePath(QStringLiteral("none.pdf"))));
    }

    void theWindowHasTheView() {
        FakeReader reader;
        CaptureSession session(*bench_.store, reader, bench_.clock(), QStringLiteral("ana"));
        DoseWindow window(*bench_.store, session,
                          {QStringLiteral("ana"), bench_.clock(),
                           bench_.dir.filePath(QStringLiteral("qvr100dose.conf"))});
        window.action(QStringLiteral("viewMapping"))->trigger();
        QCOMPARE(window.currentView(), window.mappingView());
        QCOMPARE(window.mappingView()->studyId(), QStringLiteral("S1"));
    }
};

QTEST_MAIN(TestDoseMappingView)
#include "test_dose_mapping_view.moc"
