// Draws the dose window's views into PNG files for the README, on a scratch database with the
// example calibration and a training job read on a made-up simulated reader, and the README's
// mapping study with its imported runs (the view, and a page of its PDF through pdftoppm).
// Usage: qvr100dosescreenshots SOURCE_DIR OUT_DIR

#include "dose/core/Fitting.h"
#include "dose/ui/CalibrationView.h"
#include "dose/ui/DoseWindow.h"
#include "dose/ui/MappingView.h"
#include "dose/ui/PdfReport.h"
#include "dose/ui/ReadView.h"
#include "dose/ui/ReaderCheckView.h"
#include "dose/ui/RecordsView.h"
#include "dose/usecases/MappingImport.h"

#include <QApplication>
#include <QProcess>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

using namespace qvr::dose;

namespace {

class ScriptedReader : public ReaderSource {
public:
    ReaderItems served{{"State", "reading"},   {"Fault", ""},        {"Simulated", true},
                       {"lblPresent", "Film"}, {"WL", "600 nm"},     {"lblSN", "1234"},
                       {"A", "0.850"},         {"lblZero", "3.604"}, {"Zeros", "1"}};
    Outcome<ReaderItems> items() override { return served; }
    Outcome<ReaderItems> nextReading(int) override { return served; }
    Outcome<Done> selectWavelength(bool secondary) override {
        served.insert(QStringLiteral("WL"), secondary ? "600 nm" : "510 nm");
        return Done{};
    }
};

// The README's walk-through: run R2 still misses the dose at M-C1.
Outcome<Done> addMappingExample(Store& store, const QString& source) {
    MappingStudy s;
    s.id = QStringLiteral("SYR-5ML");
    s.product = QStringLiteral("Syringes 5 mL");
    s.loadingPattern = QStringLiteral("2 cartons a tote");
    s.irradiator = QStringLiteral("Cell 1");
    s.sourcePath = QStringLiteral("path B");
    s.processValue = 12.5;
    s.processUnit = QStringLiteral("min");
    s.minRequiredKGy = 25;
    s.maxAcceptableKGy = 60;
    s.operatorName = QStringLiteral("ana");
    if (auto r = store.addMappingStudy(s); !r)
        return Failure{r.error()};
    for (const char* id : {"T-B2", "M-B2", "M-C1", "B-A1", "B-A3", "T-A1"}) {
        MappingPosition p;
        p.studyId = s.id;
        p.id = QString::fromLatin1(id);
        p.layer = p.id.left(1);
        p.monitoring = p.id == QLatin1String("T-A1");
        p.operatorName = s.operatorName;
        if (auto r = store.addMappingPosition(p); !r)
            return Failure{r.error()};
    }
    for (const char* id : {"R1", "R2", "R3"}) {
        MappingRun run;
        run.studyId = s.id;
        run.id = QString::fromLatin1(id);
        run.operatorName = s.operatorName;
        if (auto r = store.addMappingRun(run); !r)
            return Failure{r.error()};
        const QString csv = source + QStringLiteral("/examples/mapping/%1.csv").arg(run.id);
        if (auto r = importMappingDoses(store, run.id, csv, s.operatorName); !r)
            return Failure{r.error()};
    }
    return Done{};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: qvr100dosescreenshots SOURCE_DIR OUT_DIR\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]), out = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("dose.sqlite"));
    auto opened = Store::open(db);
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    Store& store = **opened;
    Batch lot;
    lot.id = QStringLiteral("LOT-A");
    lot.description = QStringLiteral("film");
    lot.thicknessUm = 50;
    lot.uThicknessUm = 0.8;
    lot.background = {{510, 0.121}, {600, 0.118}};
    lot.operatorName = QStringLiteral("ana");
    store.addBatch(lot);
    store.addJob({QStringLiteral("TRAIN-01"),
                  QStringLiteral("practice run"),
                  5.0,
                  30.0,
                  true,
                  QStringLiteral("ana"),
                  {},
                  DecisionRule::Guarded,
                  true,
                  false,
                  {},
                  {},
                  0,
                  {}});
    ScriptedReader reader;
    CaptureSession session(store, reader, systemNow(), QStringLiteral("ana"));
    DoseWindow window(
        store, session,
        {QStringLiteral("ana"), systemNow(), dir.filePath(QStringLiteral("qvr100dose.conf"))});
    window.resize(1024, 720); // the smallest screen the window is made for
    window.show();
    session.poll(false);
    // At the reader's head and wavelength, for the only batch.
    CalibrationDetails details;
    details.certificate = QStringLiteral("CERT-2026-117");
    details.validUntil = QDate::currentDate().addMonths(6);
    auto id = window.calibrationView()->importCsv(
        source + QStringLiteral("/examples/film-calibration.csv"), details);
    if (!id) {
        std::fprintf(stderr, "%s\n", qPrintable(id.error()));
        return 1;
    }
    window.calibrationView()->fit();
    window.readView()->reloadChoices(QStringLiteral("TRAIN-01"), *id);
    // Three films, each settled, then taken out.
    const char* films[][2] = {{"F-001", "0.850"}, {"F-002", "0.872"}, {"F-003", "1.204"}};
    for (const auto& f : films) {
        reader.served.insert(QStringLiteral("lblPresent"), QStringLiteral("No Film"));
        session.poll(true);
        reader.served.insert(QStringLiteral("lblPresent"), QStringLiteral("Film"));
        reader.served.insert(QStringLiteral("A"), QString::fromLatin1(f[1]));
        session.setDosimeter(QString::fromLatin1(f[0]));
        for (int i = 0; i < 5; ++i)
            session.poll(true);
    }
    reader.served.insert(QStringLiteral("State"), QStringLiteral("filter check"));
    reader.served.insert(QStringLiteral("na"), QStringLiteral("0.301"));
    session.poll(false);
    FilterSet set;
    set.certificate = QStringLiteral("ND-2026-4");
    set.certified[510] = {{"na", 0.310}, {"nb", 1.020}, {"nc", 2.030}};
    set.certified[600] = {{"na", 0.300}, {"nb", 1.000}, {"nc", 2.000}};
    window.checkView()->setFilterSet(set);
    reader.served.insert(QStringLiteral("na"), QStringLiteral("0.302"));
    reader.served.insert(QStringLiteral("nb"), QStringLiteral("1.004"));
    session.poll(false);
    reader.served.insert(QStringLiteral("State"), QStringLiteral("reading"));
    session.poll(false);

    const QStringList names{QStringLiteral("read"), QStringLiteral("records"),
                            QStringLiteral("trend"), QStringLiteral("calibration"),
                            QStringLiteral("check")};
    for (int i = 0; i < names.size(); ++i) {
        window.tabs()->setCurrentIndex(i);
        if (i == 1) {
            // The budget of a selected record, as a person would look at it.
            QTableView* table = window.recordsView()->table();
            table->selectRow(0);
        }
        if (i == 4) {
            reader.served.insert(QStringLiteral("State"), QStringLiteral("filter check"));
            session.poll(false);
            reader.served.insert(QStringLiteral("na"), QStringLiteral("0.301"));
            reader.served.insert(QStringLiteral("nb"), QStringLiteral("1.003"));
            reader.served.insert(QStringLiteral("nc"), QStringLiteral("2.031"));
            session.poll(false);
        }
        app.processEvents();
        const QString file = out + QStringLiteral("/dose-%1.png").arg(names[i]);
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }

    if (auto added = addMappingExample(store, source); !added) {
        std::fprintf(stderr, "%s\n", qPrintable(added.error()));
        return 1;
    }
    window.mappingView()->reload();
    window.showView(window.mappingView());
    window.resize(1024, 900); // room for the tables under the maps
    app.processEvents();
    const QString mapping = out + QStringLiteral("/dose-mapping.png");
    if (!window.grab().save(mapping)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(mapping));
        return 1;
    }
    const QString pdf = dir.filePath(QStringLiteral("study.pdf"));
    if (auto written = window.mappingView()->writeReport(pdf); !written) {
        std::fprintf(stderr, "%s\n", qPrintable(written.error()));
        return 1;
    }
    // The page with the results, the ratios and the first heat maps.
    QProcess page;
    page.start(QStringLiteral("pdftoppm"),
               {QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-f"),
                QStringLiteral("2"), QStringLiteral("-l"), QStringLiteral("2"),
                QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
                out + QStringLiteral("/dose-mapping-report")});
    if (!page.waitForFinished(60000) || page.exitStatus() != QProcess::NormalExit ||
        page.exitCode() != 0) {
        std::fprintf(stderr, "pdftoppm failed: %s\n", page.readAllStandardError().constData());
        return 1;
    }
    return 0;
}
