// The dose store on each database: one record written and committed, and the export of a job of
// 100 000 records, on SQLite and on a PostgreSQL server this benchmark starts itself (a private
// cluster in a temporary folder, reached through its Unix socket, fsync on).

#include "DoseScenario.h"
#include "PgServer.h"
#include "dose/cli/Cli.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace qvr;

namespace {

constexpr int kExportRecords = 100'000;

struct Lab {
    QTemporaryDir files;
    std::unique_ptr<test::PgServer> server;
    QString why; // why there is no server
    int databases = 0;
};

Lab& lab() {
    static Lab l = [] {
        Lab l;
        l.why = test::PgServer::missing();
        if (l.why.isEmpty()) {
            l.server = std::make_unique<test::PgServer>();
            if (!l.server->start())
                l.why = l.server->error();
            // Stopped while the application still exists, not among the static destructors.
            qAddPostRoutine([] { lab().server.reset(); });
        }
        return l;
    }();
    return l;
}

// A new, empty database of the kind asked for, or empty with the reason in why.
QString newDatabase(bool postgres, QString& why) {
    Lab& l = lab();
    const QString name = QStringLiteral("bench%1").arg(++l.databases);
    if (!postgres)
        return l.files.filePath(name + QStringLiteral(".sqlite"));
    if (!l.why.isEmpty()) {
        why = l.why;
        return {};
    }
    if (!l.server->createDatabase(name)) {
        why = l.server->error();
        return {};
    }
    return l.server->url(name);
}

void BM_DoseInsertRecord(benchmark::State& state, bool postgres) {
    QString why;
    const QString db = newDatabase(postgres, why);
    if (db.isEmpty())
        return state.SkipWithError(qPrintable(why));
    auto store = dose::Store::open(db, test::steppedClock());
    if (!store)
        return state.SkipWithError(qPrintable(store.error()));
    auto s = test::seedStore(**store);
    if (!s)
        return state.SkipWithError(qPrintable(s.error()));
    int n = 0;
    for (auto _ : state) {
        if (auto r = test::addScenarioRecord(**store, *s, n++); !r)
            return state.SkipWithError(qPrintable(r.error()));
    }
}

// The job's records are written to a desk's SQLite file in memory (/dev/shm), then copied into
// the database under test in one transaction, as db copy does; the copy's time is reported.
QString exportDatabase(bool postgres, QString& why, double& loadSeconds) {
    static QTemporaryDir shm(QStringLiteral("/dev/shm/qvr100bench-XXXXXX"));
    static const QString desk = [] {
        const QString path =
            (shm.isValid() ? shm.path() : lab().files.path()) + QStringLiteral("/desk.sqlite");
        auto store = dose::Store::open(path, test::steppedClock());
        if (!store)
            return QString();
        auto s = test::seedStore(**store);
        for (int n = 0; s && n < kExportRecords; ++n)
            if (!test::addScenarioRecord(**store, *s, n))
                return QString();
        return s ? path : QString();
    }();
    if (desk.isEmpty()) {
        why = QStringLiteral("could not write the desk's records");
        return {};
    }
    const QString db = newDatabase(postgres, why);
    if (db.isEmpty())
        return {};
    auto from = dose::Store::open(desk);
    auto to = dose::Store::open(db);
    if (!from || !to) {
        why = from ? to.error() : from.error();
        return {};
    }
    QElapsedTimer timer;
    timer.start();
    if (auto copied = (*from)->copyInto(**to); !copied) {
        why = copied.error();
        return {};
    }
    loadSeconds = timer.elapsed() / 1000.0;
    return db;
}

void BM_DoseExport100k(benchmark::State& state, bool postgres) {
    QString why;
    double loadSeconds = 0;
    const QString db = exportDatabase(postgres, why, loadSeconds);
    if (db.isEmpty())
        return state.SkipWithError(qPrintable(why));
    const QString csv = lab().files.filePath(QStringLiteral("export.csv"));
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    dose::CliEnv env;
    env.out = &outStream;
    env.err = &errStream;
    env.database = db;
    for (auto _ : state) {
        if (dose::runCli({QStringLiteral("export"), QStringLiteral("--job"), QStringLiteral("J-7"),
                          QStringLiteral("--csv"), csv},
                         env) != 0)
            return state.SkipWithError(qPrintable(err));
    }
    state.counters["load_s"] = loadSeconds;
}

} // namespace

BENCHMARK_CAPTURE(BM_DoseInsertRecord, sqlite, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_DoseInsertRecord, postgresql, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DoseExport100k, sqlite, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DoseExport100k, postgresql, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
