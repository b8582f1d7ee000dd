// Draws the dose window's views into PNG files for the README, on a scratch database with the
// example calibration and a training job read on a made-up simulated reader.
// Usage: qvr100dosescreenshots SOURCE_DIR OUT_DIR

#include "dose/core/Fitting.h"
#include "dose/ui/CalibrationView.h"
#include "dose/ui/DoseWindow.h"
#include "dose/ui/ReadView.h"
#include "dose/ui/ReaderCheckView.h"
#include "dose/ui/RecordsView.h"

#include <QApplication>
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
};

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
    return 0;
}
