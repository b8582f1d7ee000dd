// The dose workstation: a calibration fit, one dose, one record written and synced, the
// export of a job of 100 000 records and the summary of a mapping study.

#include "PostgresBench.h"
#include "dose/cli/Cli.h"
#include "dose/core/CoverageSimulation.h"
#include "dose/core/Fitting.h"
#include "dose/store/Store.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

using namespace qvr::dose;

namespace {

// 8 levels from 0.5 to 50 kGy, 5 films each: 40 points.
Calibration fortyPoints() {
    std::mt19937 random(5);
    std::normal_distribution<double> spread(0, 0.012);
    Calibration c;
    c.id = 1;
    c.a0 = 0.12;
    for (double d : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 35.0, 50.0})
        for (int r = 0; r < 5; ++r)
            c.points.push_back({QString(), d, 1.2,
                                c.a0 + std::pow(d / 0.35, 0.8) * (1 + spread(random)) * 0.05, 50});
    return c;
}

void BM_DoseFit40Points(benchmark::State& state) {
    const Calibration c = fortyPoints();
    const Model model = kModels[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(fitCalibration(c, model, true));
    state.SetLabel(modelName(model).toStdString());
}
BENCHMARK(BM_DoseFit40Points)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

// calibration check --monte-carlo 1000 on the forty points' chosen fit.
void BM_DoseCoverageCheck1000(benchmark::State& state) {
    const Calibration c = fortyPoints();
    const Fit fit = *chooseFit(c, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(simulateCoverage(truthOfFit(fit, c), 1000, 1, true));
}
BENCHMARK(BM_DoseCoverageCheck1000)->Unit(benchmark::kSecond)->Iterations(1);

void BM_DoseOfOneDosimeter(benchmark::State& state) {
    const Fit fit = *fitCalibration(fortyPoints(), Model::Power, false);
    DoseInput in;
    in.absorbance = 1.2;
    in.a0 = 0.12;
    in.thicknessUm = 50;
    in.uThicknessUm = 0.8;
    in.readingSd = 0.002;
    for (auto _ : state) {
        benchmark::DoNotOptimize(computeDose(fit, in));
        in.absorbance += 1e-9;
    }
}
BENCHMARK(BM_DoseOfOneDosimeter);

struct Bench {
    QTemporaryDir dir;
    QString location;
    QString error; // why the store could not be set up
    std::unique_ptr<Store> store;
    Calibration calibration = fortyPoints();
    Fit fit;
    Job job{QStringLiteral("J"),
            {},
            10.0,
            30.0,
            true,
            QStringLiteral("bench"),
            {},
            DecisionRule::Guarded,
            true,
            false,
            {},
            {},
            0,
            {}};

    // A SQLite file of its own, or the database at location.
    explicit Bench(const QString& at = QString())
        : location(at.isEmpty() ? dir.filePath(QStringLiteral("bench.sqlite")) : at) {
        auto opened = Store::open(location);
        if (!opened) {
            error = opened.error();
            return;
        }
        store = std::move(*opened);
        Batch lot;
        lot.id = QStringLiteral("B");
        lot.thicknessUm = 50;
        lot.uThicknessUm = 0.8;
        lot.background = {{600, 0.12}};
        store->addBatch(lot);
        calibration.batchId = QStringLiteral("B");
        calibration.headSerial = QStringLiteral("1234");
        calibration.wavelengthNm = 600;
        calibration.id = store->addCalibration(calibration)->id;
        fit = *fitCalibration(calibration, Model::Power, false);
        fit.id = store->addFit(fit)->id;
        store->addJob(job);
    }
    Record record(int n) const {
        Record r;
        r.jobId = job.id;
        r.dosimeter = QStringLiteral("D%1").arg(n);
        r.calibrationId = calibration.id;
        r.fitId = fit.id;
        r.batchId = calibration.batchId;
        r.wavelengthNm = 600;
        r.headSerial = calibration.headSerial;
        r.readAt = QDateTime::currentDateTimeUtc();
        r.readings = {{r.readAt, 1.0 + n * 1e-6}, {r.readAt, 1.001}, {r.readAt, 1.002}};
        r.a0 = 0.12;
        r.thicknessUm = 50;
        r.uThicknessUm = 0.8;
        return r;
    }
    std::function<void(Record&)> evaluate() const {
        return [this](Record& r) { evaluateRecord(r, fit, job, calibration); };
    }
};

void insertRecords(benchmark::State& state, const QString& location) {
    Bench b(location);
    if (!b.store)
        return state.SkipWithError(qPrintable(b.error));
    int n = 0;
    for (auto _ : state)
        if (!b.store->addRecord(b.record(n++), b.evaluate()))
            state.SkipWithError("write failed");
}
void BM_DoseInsertRecordSynced(benchmark::State& state) {
    insertRecords(state, QString());
}
BENCHMARK(BM_DoseInsertRecordSynced)->Unit(benchmark::kMillisecond);

void exportRecords(benchmark::State& state, const QString& location) {
    Bench b(location);
    if (!b.store)
        return state.SkipWithError(qPrintable(b.error));
    std::vector<Record> records;
    for (int n = 0; n < 100000; ++n)
        records.push_back(b.record(n));
    if (!b.store->addRecords(records, b.evaluate()))
        state.SkipWithError("load failed");
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    CliEnv env;
    env.out = &outStream;
    env.err = &errStream;
    env.database = b.location;
    const QString file = b.dir.filePath(QStringLiteral("export.csv"));
    for (auto _ : state)
        if (runCli({QStringLiteral("export"), QStringLiteral("--job"), QStringLiteral("J"),
                    QStringLiteral("--csv"), file},
                   env) != 0)
            state.SkipWithError(qPrintable(err));
}
void BM_DoseExport100000Records(benchmark::State& state) {
    exportRecords(state, QString());
}
BENCHMARK(BM_DoseExport100000Records)->Unit(benchmark::kMillisecond)->Iterations(3);

// The summary of a mapping study of 3 runs x 1000 positions, from the database to JSON.
void BM_DoseMappingSummary3x1000(benchmark::State& state) {
    QTemporaryDir dir;
    const QString location = dir.filePath(QStringLiteral("dose.sqlite"));
    auto store = Store::open(location);
    if (!store)
        return state.SkipWithError(qPrintable(store.error()));
    MappingStudy study;
    study.id = QStringLiteral("S");
    study.minRequiredKGy = 25;
    study.maxAcceptableKGy = 60;
    if (!(*store)->addMappingStudy(study))
        return state.SkipWithError("study not added");
    for (int p = 0; p < 1000; ++p) {
        MappingPosition position;
        position.studyId = study.id;
        position.id = QStringLiteral("P%1").arg(p);
        position.monitoring = p % 100 == 0;
        if (!(*store)->addMappingPosition(position))
            return state.SkipWithError("position not added");
    }
    for (int r = 0; r < 3; ++r) {
        MappingRun run;
        run.id = QStringLiteral("R%1").arg(r);
        run.studyId = study.id;
        if (!(*store)->addMappingRun(run))
            return state.SkipWithError("run not added");
        std::vector<PositionDose> doses;
        for (int p = 0; p < 1000; ++p) {
            PositionDose d;
            d.runId = run.id;
            d.position = QStringLiteral("P%1").arg(p);
            d.dosimeter = run.id + d.position;
            d.state = PositionState::Valid;
            d.doseKGy = 30 + 0.01 * p + 0.3 * r;
            d.expanded = 0.05 * d.doseKGy;
            d.randomRel = 0.015;
            d.systematicRel = 0.012;
            doses.push_back(d);
        }
        if (!(*store)->addMappingDoses(doses))
            return state.SkipWithError("doses not added");
    }
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    CliEnv env;
    env.out = &outStream;
    env.err = &errStream;
    env.database = location;
    for (auto _ : state) {
        out.clear();
        if (runCli({QStringLiteral("mapping"), QStringLiteral("summary"), QStringLiteral("S"),
                    QStringLiteral("--json")},
                   env) != 0)
            state.SkipWithError(qPrintable(err));
    }
}
BENCHMARK(BM_DoseMappingSummary3x1000)->Unit(benchmark::kMillisecond);

// The same two on a PostgreSQL server the benchmark starts itself.
void BM_PostgresInsertRecordSynced(benchmark::State& state) {
    QString why;
    if (const QString db = postgresBenchDatabase(why); db.isEmpty())
        state.SkipWithError(qPrintable(why));
    else
        insertRecords(state, db);
}
BENCHMARK(BM_PostgresInsertRecordSynced)->Unit(benchmark::kMillisecond);

void BM_PostgresExport100000Records(benchmark::State& state) {
    QString why;
    if (const QString db = postgresBenchDatabase(why); db.isEmpty())
        state.SkipWithError(qPrintable(why));
    else
        exportRecords(state, db);
}
BENCHMARK(BM_PostgresExport100000Records)->Unit(benchmark::kMillisecond)->Iterations(3);

// db copy of a desk's 100 000 records, from its SQLite file into an empty database on the
// server: every row and its ledger entry, verified on both sides.
void BM_PostgresCopy100000Records(benchmark::State& state) {
    Bench desk;
    if (!desk.store)
        return state.SkipWithError(qPrintable(desk.error));
    std::vector<Record> records;
    for (int n = 0; n < 100000; ++n)
        records.push_back(desk.record(n));
    if (!desk.store->addRecords(records, desk.evaluate()))
        return state.SkipWithError("load failed");
    desk.store.reset();
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    CliEnv env;
    env.out = &outStream;
    env.err = &errStream;
    for (auto _ : state) {
        state.PauseTiming();
        QString why;
        const QString lab = postgresBenchDatabase(why);
        state.ResumeTiming();
        if (lab.isEmpty())
            return state.SkipWithError(qPrintable(why));
        if (runCli({QStringLiteral("db"), QStringLiteral("copy"), QStringLiteral("--from"),
                    desk.location, QStringLiteral("--to"), lab},
                   env) != 0)
            return state.SkipWithError(qPrintable(err));
    }
}
BENCHMARK(BM_PostgresCopy100000Records)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
