// qvr100dose against a real PostgreSQL server it shares with other desks: concurrent writer
// processes, a server stopped under a writer, a desk's records copied in, and the schema's
// migrations from the first version on, on both databases, rows of earlier versions included.

#include "DoseProcesses.h"
#include "DoseScenario.h"
#include "FakeSigning.h"
#include "PgServer.h"
#include "dose/cli/Cli.h"
#include "dose/store/Dialect.h"
#include "dose/store/Schema.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace qvr;
using namespace qvr::dose::test;

namespace {

QStringList jobIds(const QString& db) {
    const Run r = runDose({QStringLiteral("--db"), db, QStringLiteral("--json"),
                           QStringLiteral("job"), QStringLiteral("list")});
    QStringList ids;
    for (const auto& v : QJsonDocument::fromJson(r.out.toUtf8()).array())
        ids << v.toObject().value(QStringLiteral("id")).toString();
    return ids;
}

// The ledger seq of the row with hash, 0 when there is none.
qint64 seqOf(const QString& db, const QString& hash) {
    qint64 seq = 0;
    {
        auto dialect = dose::dialectFor(db);
        QSqlDatabase raw = QSqlDatabase::addDatabase((*dialect)->driver(), QStringLiteral("seqs"));
        if ((*dialect)->open(raw, db, false)) {
            QSqlQuery q(raw);
            q.prepare(QStringLiteral("SELECT seq FROM ledger WHERE hash = ?"));
            q.addBindValue(hash);
            if (q.exec() && q.next())
                seq = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("seqs"));
    return seq;
}

} // namespace

class TestPostgresCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void twoWritersKeepOneChain();
    void serverStoppedMidWrite();
    void copyRoundTrip();
    void textsSurviveBothDatabases_data();
    void textsSurviveBothDatabases();
    void initSaysTheUrlAsTyped();
    void migrationsFromFirstSchema_data();
    void migrationsFromFirstSchema();
    void nanFixtureOnTheServer();

private:
    QString newDatabase();
    std::unique_ptr<test::PgServer> server_;
    int databases_ = 0;
};

void TestPostgresCli::initTestCase() {
    QVR_REQUIRE_PG_BINARIES();
    QVERIFY2(QFile::exists(doseProgram()), "build qvr100dose first");
    server_ = std::make_unique<test::PgServer>();
    QVERIFY2(server_->start(), qPrintable(server_->error()));
}

QString TestPostgresCli::newDatabase() {
    const QString name = QStringLiteral("lab%1").arg(++databases_);
    return server_->createDatabase(name) ? server_->url(name) : QString();
}

// Two desks adding at the same time, one through QVR100_DOSE_DB and one through --db: every
// write succeeds and the ledger stays one chain (a forked head would fail verify, and a lost
// race would fail a write).
void TestPostgresCli::twoWritersKeepOneChain() {
    const QString url = newDatabase();
    QVERIFY2(!url.isEmpty(), qPrintable(server_->error()));
    QCOMPARE(
        runDose({QStringLiteral("--db"), url, QStringLiteral("db"), QStringLiteral("init")}).status,
        0);
    constexpr int perDesk = 15;
    std::unique_ptr<QProcess> desks[] = {startJobWriter(url, QStringLiteral("A"), perDesk),
                                         startJobWriter(url, QStringLiteral("B"), perDesk, true)};
    for (const auto& desk : desks) {
        QVERIFY(desk->waitForFinished(kProcessMs));
        QVERIFY2(desk->exitCode() == 0, desk->readAllStandardError().constData());
    }
    const Run verified =
        runDose({QStringLiteral("--db"), url, QStringLiteral("--json"), QStringLiteral("verify")});
    QVERIFY2(verified.status == 0, qPrintable(verified.err));
    const QJsonObject report = QJsonDocument::fromJson(verified.out.toUtf8()).object();
    // and the four roles of the account that made it
    QCOMPARE(report.value(QStringLiteral("rows")).toInteger(), 2 * perDesk + 4);
    QCOMPARE(jobIds(url).size(), 2 * perDesk);
}

// A writer loops on job add until a command fails; the server is stopped hard under it. The
// failing command says why in one line and exits 1; once the server is back, every write the
// writer saw committed is there, the chain is whole up to the last head it printed, and the
// next command works.
void TestPostgresCli::serverStoppedMidWrite() {
    const QString url = newDatabase();
    QVERIFY2(!url.isEmpty(), qPrintable(server_->error()));
    auto writer = startJobWriter(url, QStringLiteral("W"), -1, true);
    const auto stopWriter = qScopeGuard([&] {
        writer->kill();
        writer->waitForFinished();
    });
    QVERIFY(writer->waitForStarted(kProcessMs));
    QString out;
    QDeadlineTimer deadline(kProcessMs);
    while (out.count(QStringLiteral("chain head")) < 8 && !deadline.hasExpired() &&
           writer->state() == QProcess::Running) {
        writer->waitForReadyRead(1000);
        out += QString::fromUtf8(writer->readAllStandardOutput());
    }
    QVERIFY2(out.count(QStringLiteral("chain head")) >= 8,
             writer->readAllStandardError().constData());
    QVERIFY2(server_->stop(QStringLiteral("immediate")), qPrintable(server_->error()));
    QVERIFY(writer->waitForFinished(kProcessMs));
    out += QString::fromUtf8(writer->readAllStandardOutput());
    const QString err = QString::fromUtf8(writer->readAllStandardError());
    QCOMPARE(writer->exitCode(), 1);
    QVERIFY2(err.startsWith(QLatin1String("qvr100dose: ")) && err.count(QLatin1Char('\n')) == 1,
             qPrintable(err));

    QVERIFY2(server_->start(), qPrintable(server_->error()));
    const Run verified = runDose({QStringLiteral("--db"), url, QStringLiteral("verify"),
                                  QStringLiteral("--expect"), lastChainHead(out)});
    QVERIFY2(verified.status == 0, qPrintable(verified.err));
    const QStringList stored = jobIds(url);
    const QStringList reported = addedJobs(out);
    for (const QString& id : reported)
        QVERIFY2(stored.contains(id), qPrintable(id + QStringLiteral(" was reported but is lost")));
    QVERIFY(reported.size() >= 8);
    const Run after = runDose({QStringLiteral("--db"), url, QStringLiteral("job"),
                               QStringLiteral("add"), QStringLiteral("after")});
    QVERIFY2(after.status == 0, qPrintable(after.err));
}

// A desk's SQLite records into the lab's server and back: each copy verifies with the source's
// newest hash and exports the same bytes; a database that already holds records takes none.
void TestPostgresCli::copyRoundTrip() {
    QTemporaryDir dir;
    const QString desk = dir.filePath(QStringLiteral("desk.sqlite"));
    const QString back = dir.filePath(QStringLiteral("back.sqlite"));
    {
        auto store = dose::Store::open(desk, test::steppedClock());
        QVERIFY2(store, qPrintable(store.error()));
        auto s = test::seedStore(**store);
        QVERIFY2(s, qPrintable(s.error()));
        // More than a slice of the copy and a statement of its inserts, in one bulk load.
        std::vector<dose::Record> records;
        for (int n = 0; n < 2100; ++n)
            records.push_back(test::scenarioRecord(**store, *s, n));
        QVERIFY((*store)->addRecords(records, test::scenarioEvaluation(*s)));
    }
    const QString url = newDatabase();
    QVERIFY2(!url.isEmpty(), qPrintable(server_->error()));

    QString head;
    QStringList exports;
    for (const auto& [from, to] : {std::pair(desk, url), std::pair(url, back)}) {
        const Run copied = runDose({QStringLiteral("db"), QStringLiteral("copy"),
                                    QStringLiteral("--from"), from, QStringLiteral("--to"), to});
        QVERIFY2(copied.status == 0, qPrintable(copied.err));
        if (head.isEmpty())
            head = lastChainHead(copied.out);
        QCOMPARE(lastChainHead(copied.out), head);
        const Run verified = runDose({QStringLiteral("--db"), to, QStringLiteral("verify"),
                                      QStringLiteral("--expect"), head});
        QVERIFY2(verified.status == 0, qPrintable(verified.err));
    }
    for (const QString& db : {desk, url, back}) {
        const QString file = dir.filePath(QStringLiteral("export%1.csv").arg(exports.size()));
        const Run r =
            runDose({QStringLiteral("--db"), db, QStringLiteral("export"), QStringLiteral("--job"),
                     QStringLiteral("J-7"), QStringLiteral("--csv"), file});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        exports << QString::fromUtf8(f.readAll());
    }
    QCOMPARE(exports.at(1), exports.at(0));
    QCOMPARE(exports.at(2), exports.at(0));

    const Run again = runDose({QStringLiteral("db"), QStringLiteral("copy"),
                               QStringLiteral("--from"), desk, QStringLiteral("--to"), url});
    QCOMPARE(again.status, 1);
    QVERIFY2(again.err.contains(QLatin1String("already holds records")), qPrintable(again.err));
}

void TestPostgresCli::textsSurviveBothDatabases_data() {
    QTest::addColumn<QString>("fixture"); // a database an earlier version wrote, or "" for new
    QTest::addColumn<QString>("head");
    QTest::newRow("any script, controls, astral") << QString() << QString();
    QTest::newRow("written before the text rules")
        << QStringLiteral(QVR100_SOURCE_DIR "/tests/dose/fixtures/dose-hostile-text-v2.sqlite")
        << QStringLiteral("3cd9444378c39f2c7b9d0630dfe1e4d9374944878e016c3d52553c09a8b88241");
}

// Texts go from a desk's file to the server and back unchanged, with the same hashes: new ones
// in every script, and rows an earlier version let in (U+FFFF, U+FFFE, a leading U+FEFF, ESC),
// which verify and copy without any row rewritten.
void TestPostgresCli::textsSurviveBothDatabases() {
    QFETCH(QString, fixture);
    QFETCH(QString, head);
    QTemporaryDir dir;
    const QString desk = dir.filePath(QStringLiteral("desk.sqlite"));
    if (fixture.isEmpty()) {
        QCOMPARE(runDose({"--db", desk, "db", "init"}).status, 0);
        const Run added = runDose({"--db", desk, "job", "add", "J-ü", "--product",
                                   "中文 עברית 😀 e\u0301\t\x1b[31m\nline two"});
        QVERIFY2(added.status == 0, qPrintable(added.err));
        head = lastChainHead(added.out);
    } else {
        QVERIFY(QFile::copy(fixture, desk));
        QFile::setPermissions(desk, QFile::ReadOwner | QFile::WriteOwner);
        // Brought to this version, the desk gains the roles of the account that migrates it;
        // its rows keep their hashes.
        const Run migrated = runDose({"--db", desk, "db", "migrate"});
        QVERIFY2(migrated.status == 0, qPrintable(migrated.err));
        QVERIFY(seqOf(desk, head) > 0);
        head = lastChainHead(migrated.out);
    }
    QFile original(desk);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    const QString url = newDatabase(), back = dir.filePath(QStringLiteral("back.sqlite"));
    QStringList listings;
    for (const auto& [from, to] : {std::pair(desk, url), std::pair(url, back)}) {
        const Run copied = runDose({"db", "copy", "--from", from, "--to", to});
        QVERIFY2(copied.status == 0, qPrintable(copied.err));
        QCOMPARE(lastChainHead(copied.out), head);
    }
    for (const QString& db : {desk, url, back}) {
        const Run verified = runDose({"--db", db, "verify", "--expect", head});
        QVERIFY2(verified.status == 0, qPrintable(verified.err));
        listings << runDose({"--db", db, "--json", "job", "list"}).out;
    }
    if (fixture.isEmpty()) // as typed but in NFC; the controls escaped as JSON does
        QVERIFY2(listings[0].contains(QStringLiteral("中文 עברית 😀 \u00e9\\t\\u001b[31m\\nline")),
                 qPrintable(listings[0]));
    QCOMPARE(listings[1], listings[0]);
    QCOMPARE(listings[2], listings[0]);
    // Verified and copied, never written; a database of an earlier schema is brought to this
    // one when opened (its rows verified above with their head, so none was rewritten).
    if (fixture.isEmpty()) {
        QVERIFY(original.seek(0));
        QCOMPARE(original.readAll(), bytes);
    }
}

// A socket folder written into the URL's host keeps its %2F in what db init says.
void TestPostgresCli::initSaysTheUrlAsTyped() {
    QVERIFY(server_->createDatabase(QStringLiteral("percent")));
    const QString url =
        QStringLiteral("postgresql://postgres@%1/percent")
            .arg(QString::fromLatin1(QUrl::toPercentEncoding(server_->socketDir())));
    const Run r = runDose({"--db", url, "db", "init"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(
                 QStringLiteral("PostgreSQL dose database %1 created at schema version").arg(url)),
             qPrintable(r.out));
}

void TestPostgresCli::migrationsFromFirstSchema_data() {
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<int>("from");
    auto dialect = dose::dialectFor(QStringLiteral("dose.sqlite"));
    QVERIFY(dialect);
    // Each version a migration leaves: the numbering may skip one.
    for (const dose::Migration& m : dose::migrations(**dialect)) {
        const int v = m.version;
        QTest::addRow("sqlite from %d", v) << false << v;
        QTest::addRow("postgresql from %d", v) << true << v;
    }
}

// A database left at each earlier schema version is brought up by db migrate and then takes
// and verifies records; one newer than the program is refused, not touched.
void TestPostgresCli::migrationsFromFirstSchema() {
    QFETCH(bool, postgres);
    QFETCH(int, from);
    QTemporaryDir dir;
    const QString db = postgres ? newDatabase() : dir.filePath(QStringLiteral("dose.sqlite"));
    QVERIFY(!db.isEmpty());
    {
        dose::SchemaChange change;
        auto old = dose::Store::openAtVersion(db, from, &change);
        QVERIFY2(old, qPrintable(old.error()));
        QCOMPARE(change.to, from);
    }
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    dose::CliEnv env;
    qvr::test::withFakeSigning(env);
    env.out = &outStream;
    env.err = &errStream;
    env.database = db;
    QVERIFY2(dose::runCli({QStringLiteral("db"), QStringLiteral("migrate")}, env) == 0,
             qPrintable(err));
    {
        auto store = dose::Store::open(db, test::steppedClock());
        QVERIFY2(store, qPrintable(store.error()));
        QCOMPARE(*(*store)->schemaVersion(), dose::kSchemaVersion);
        auto s = test::seedStore(**store);
        QVERIFY2(s, qPrintable(s.error()));
        auto r = test::addScenarioRecord(**store, *s, 1);
        QVERIFY2(r, qPrintable(r.error()));
        dose::Amendment later;
        later.subject = dose::kCalibrationSubject;
        later.subjectId = QString::number(s->calibration.id);
        later.certificate = QStringLiteral("CERT-1");
        later.reason = QStringLiteral("certificate arrived");
        QVERIFY((*store)->amend(later));
        r = test::addScenarioRecord(**store, *s, 2);
        QVERIFY2(r, qPrintable(r.error()));
        const dose::ChainReport report = (*store)->verify(r->hash);
        QVERIFY2(report.whole, qPrintable(report.problem));
    }
    {
        auto dialect = dose::dialectFor(db);
        QVERIFY(dialect);
        QSqlDatabase raw = QSqlDatabase::addDatabase((*dialect)->driver(), QStringLiteral("raw"));
        QVERIFY((*dialect)->open(raw, db, false));
        QVERIFY(QSqlQuery(raw).exec(
            QStringLiteral("UPDATE meta SET value = '%1' WHERE key = 'schema_version'")
                .arg(dose::kSchemaVersion + 1)));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    err.clear();
    QCOMPARE(dose::runCli({QStringLiteral("db"), QStringLiteral("migrate")}, env), 1);
    QVERIFY2(err.contains(QLatin1String("newer than this qvr100dose")), qPrintable(err));
}

// The earlier program's database with doses that were not numbers, on the server: copied at its
// own schema version and migrated there, or copied after migrating at the desk, it verifies
// and keeps every ledger row as written, its head included; the migration adds the roles of the
// account that took it.
void TestPostgresCli::nanFixtureOnTheServer() {
    const QString head =
        QStringLiteral("b16e93fdf0f2aa441667289155e02f3de1d73426202d0b3812e212f04f55de7e");
    QTemporaryDir dir;
    const QString desk = dir.filePath(QStringLiteral("desk.sqlite"));
    QVERIFY(QFile::copy(QStringLiteral(QVR100_SOURCE_DIR "/tests/dose/fixtures/dose-nan-v2.sqlite"),
                        desk));
    QFile::setPermissions(desk, QFile::ReadOwner | QFile::WriteOwner);
    auto ledger = [](dose::Store& store) {
        QStringList rows;
        const auto all = store.records(QStringLiteral("TRAIN-1"));
        for (const dose::Record& r : *all)
            rows << r.canonical();
        return rows;
    };
    const QString atTwo = newDatabase(), atThree = newDatabase();
    QVERIFY(!atTwo.isEmpty() && !atThree.isEmpty());
    QStringList records;
    {
        auto from = dose::Store::openAtVersion(desk, 2);
        auto to = dose::Store::openAtVersion(atTwo, 2);
        QVERIFY2(from && to, qPrintable(from ? to.error() : from.error()));
        records = ledger(**from);
        auto copied = (*from)->copyInto(**to);
        QVERIFY2(copied, qPrintable(copied.error()));
        QCOMPARE(copied->headHash, head);
    }
    QCOMPARE(
        runDose({QStringLiteral("--db"), atTwo, QStringLiteral("db"), QStringLiteral("migrate")})
            .status,
        0);
    for (const QString& db : {atTwo, atThree}) {
        if (db == atThree) {
            const Run copied =
                runDose({QStringLiteral("db"), QStringLiteral("copy"), QStringLiteral("--from"),
                         desk, QStringLiteral("--to"), db});
            QVERIFY2(copied.status == 0, qPrintable(copied.err));
        }
        const Run verified = runDose({QStringLiteral("--db"), db, QStringLiteral("verify")});
        QVERIFY2(verified.status == 0, qPrintable(verified.err));
        QVERIFY2(verified.out.contains(QStringLiteral("chain whole: 14 rows, head ")),
                 qPrintable(verified.out));
        QCOMPARE(seqOf(db, head), 10);
        auto store = dose::Store::open(db);
        QVERIFY2(store, qPrintable(store.error()));
        QCOMPARE(ledger(**store), records);
        QVERIFY(!std::isfinite((*store)->record(2)->result.dose));
    }
}

QTEST_GUILESS_MAIN(TestPostgresCli)
#include "test_postgres_cli.moc"
