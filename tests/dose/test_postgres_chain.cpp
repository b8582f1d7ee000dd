// The chain a PostgreSQL server keeps: each person works under their own login, which may read
// every table and append only through the owner's function, and only rows attributed to them.

#include "DoseScenario.h"
#include "PgServer.h"
#include "PgSession.h"
#include "dose/core/Canonical.h"
#include "dose/store/Dialect.h"
#include "dose/store/Tables.h"

#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace qvr;

class TestPostgresChain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void migrationTakesTheLoginsRights();
    void loginsCannotWriteAnyTable_data();
    void loginsCannotWriteAnyTable();
    void rowsAreAttributedToTheirLogin();
    void functionRefusesBadRows_data();
    void functionRefusesBadRows();
    void twoPeopleAppendToOneChain();
    void copyKeepsHashesAndLogins();

private:
    QString newDatabase(int version = dose::kSchemaVersion);
    QString as(const QString& url, const QString& who) const;
    std::unique_ptr<test::PgServer> server_;
    int databases_ = 0;
    QString seeded_; // one database for every row of a data-driven test
};

// A person's rights as the README grants them.
const QString kGrants = QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO ana, bob; "
                                       "GRANT EXECUTE ON FUNCTION qvr100_chain_append(jsonb) TO "
                                       "ana, bob");

void TestPostgresChain::initTestCase() {
    QVR_REQUIRE_PG_BINARIES();
    server_ = std::make_unique<test::PgServer>();
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    QVERIFY(server_->createDatabase(QStringLiteral("roles")));
    // The scenario's rows are ana's.
    QVERIFY(server_->exec(QStringLiteral("roles"), QStringLiteral("CREATE ROLE ana LOGIN; "
                                                                  "CREATE ROLE bob LOGIN")));
}

// A database made by the owner (the server's superuser here) at version.
QString TestPostgresChain::newDatabase(int version) {
    const QString name = QStringLiteral("chain%1").arg(++databases_);
    if (!server_->createDatabase(name))
        return QString();
    const QString url = server_->url(name);
    auto store = dose::Store::openAtVersion(url, version, nullptr, test::steppedClock());
    return store ? url : QString();
}

QString TestPostgresChain::as(const QString& url, const QString& who) const {
    return QString(url).replace(test::PgServer::superuser() + QLatin1Char('@'),
                                who + QLatin1Char('@'));
}

// A desk that inserted its rows itself before keeps reading them after the migration, and
// appends through the function; the rows written before verify unchanged.
void TestPostgresChain::migrationTakesTheLoginsRights() {
    const QString url = newDatabase(10);
    QVERIFY(!url.isEmpty());
    QVERIFY(
        test::execAs(url, QStringLiteral("GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO "
                                         "ana")));
    QString before;
    {
        auto store = dose::Store::openAtVersion(as(url, QStringLiteral("ana")), 10, nullptr,
                                                test::steppedClock());
        QVERIFY2(store, qPrintable(store.error()));
        auto s = test::seedStore(**store);
        QVERIFY2(s, qPrintable(s.error()));
        auto r = test::addScenarioRecord(**store, *s, 1);
        QVERIFY2(r, qPrintable(r.error()));
        before = r->hash;
    }
    {
        auto owner = dose::Store::open(url);
        QVERIFY2(owner, qPrintable(owner.error()));
        QCOMPARE(*(*owner)->schemaVersion(), dose::kSchemaVersion);
    }
    QString error;
    QVERIFY(!test::execAs(
        as(url, QStringLiteral("ana")),
        QStringLiteral("INSERT INTO ledger (seq, kind, ref, canonical, prev_hash, hash) "
                       "VALUES (99, 'job', 'job X', '{}', '', '')"),
        &error));
    QVERIFY2(error.contains(QLatin1String("permission denied")), qPrintable(error));
    auto store = dose::Store::open(as(url, QStringLiteral("ana")), test::steppedClock());
    QVERIFY2(store, qPrintable(store.error()));
    auto job = (*store)->job(QStringLiteral("J-7"));
    QVERIFY2(job, qPrintable(job.error()));
    dose::Job next = *job;
    next.id = QStringLiteral("J-8");
    auto added = (*store)->addJob(next);
    QVERIFY2(added, qPrintable(added.error()));
    const dose::ChainReport report = (*store)->verify(before);
    QVERIFY2(report.whole, qPrintable(report.problem));
    QCOMPARE(report.headHash, added->hash);
    QCOMPARE(test::firstColumn(
                 url, QStringLiteral("SELECT coalesce(login, '-') FROM ledger ORDER BY seq")),
             QStringList(report.rows - 1, QStringLiteral("-")) << QStringLiteral("ana"));
}

void TestPostgresChain::loginsCannotWriteAnyTable_data() {
    QTest::addColumn<QString>("sql");
    QStringList tables{QStringLiteral("ledger"), QStringLiteral("meta"),
                       QStringLiteral("chained_tables")};
    for (const dose::Table* t : dose::allTables())
        tables << t->name;
    for (const QString& t : tables) {
        QTest::newRow(qPrintable(t + QStringLiteral(" insert")))
            << QStringLiteral("INSERT INTO %1 SELECT * FROM %1 LIMIT 1").arg(t);
        const QString some = t == QLatin1String("meta")             ? QStringLiteral("key")
                             : t == QLatin1String("chained_tables") ? QStringLiteral("name")
                                                                    : QStringLiteral("seq");
        QTest::newRow(qPrintable(t + QStringLiteral(" update")))
            << QStringLiteral("UPDATE %1 SET %2 = %2").arg(t, some);
        QTest::newRow(qPrintable(t + QStringLiteral(" delete")))
            << QStringLiteral("DELETE FROM %1").arg(t);
    }
}

// Granted everything a person needs, a login still cannot write a table itself.
void TestPostgresChain::loginsCannotWriteAnyTable() {
    QFETCH(QString, sql);
    if (seeded_.isEmpty()) {
        const QString url = newDatabase();
        QVERIFY(!url.isEmpty());
        QVERIFY(test::execAs(url, kGrants));
        auto store = dose::Store::open(as(url, QStringLiteral("ana")), test::steppedClock());
        QVERIFY2(store, qPrintable(store.error()));
        QVERIFY(test::seedStore(**store));
        seeded_ = url;
    }
    QString error;
    QVERIFY2(!test::execAs(as(seeded_, QStringLiteral("ana")), sql, &error),
             "a login wrote a table");
    QVERIFY2(error.contains(QLatin1String("permission denied")), qPrintable(error));
}

// Nobody appends in another's name, the owner included only where it is the login.
void TestPostgresChain::rowsAreAttributedToTheirLogin() {
    const QString url = newDatabase();
    QVERIFY(!url.isEmpty());
    QVERIFY(test::execAs(url, kGrants));
    auto ana = dose::Store::open(as(url, QStringLiteral("ana")), test::steppedClock());
    QVERIFY2(ana, qPrintable(ana.error()));
    auto s = test::seedStore(**ana);
    QVERIFY2(s, qPrintable(s.error()));
    auto bob = dose::Store::open(as(url, QStringLiteral("bob")), test::steppedClock());
    QVERIFY2(bob, qPrintable(bob.error()));
    dose::Job job = s->job;
    job.id = QStringLiteral("J-9");
    auto refused = (*bob)->addJob(job);
    QVERIFY(!refused);
    QVERIFY2(refused.error().contains(QLatin1String("the database login bob may not append job "
                                                    "J-9 attributed to ana")),
             qPrintable(refused.error()));
    job.operatorName = QStringLiteral("bob");
    auto added = (*bob)->addJob(job);
    QVERIFY2(added, qPrintable(added.error()));
    const dose::ChainReport report = (*ana)->verify(added->hash);
    QVERIFY2(report.whole, qPrintable(report.problem));
    QCOMPARE(test::firstColumn(
                 url, QStringLiteral("SELECT login FROM ledger ORDER BY seq DESC LIMIT 1")),
             QStringList{QStringLiteral("bob")});
}

void TestPostgresChain::functionRefusesBadRows_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("canonical");
    QTest::addColumn<QString>("columns");
    QTest::addColumn<QString>("says");
    const QString text = QStringLiteral(
        R"({"kind":"mapping_run","id":"R-1","study":"S-1","operator":"%1","created_at":"%2"})");
    const QString columns =
        QStringLiteral(R"({"id":"%3","study_id":"S-1","operator":"%1","created_at":"%2"})");
    const QString at = QStringLiteral("2026-12-08T06:00:00.000Z");
    QTest::newRow("as written") << "mapping_runs" << text.arg("ana", at)
                                << columns.arg("ana", at, "R-1") << QString();
    QTest::newRow("column not as the text")
        << "mapping_runs" << text.arg("ana", at) << columns.arg("ana", at, "R-2")
        << "does not say what its column id holds";
    QTest::newRow("text in another's name")
        << "mapping_runs" << text.arg("bob", at) << columns.arg("ana", at, "R-1")
        << "does not say what its column operator holds";
    QTest::newRow("both in another's name") << "mapping_runs" << text.arg("bob", at)
                                            << columns.arg("bob", at, "R-1") << "may not append";
    QTest::newRow("text of another kind")
        << "mapping_studies" << text.arg("ana", at) << columns.arg("ana", at, "R-1")
        << "is not that of a mapping_study row";
    QTest::newRow("no text at all") << "mapping_runs" << QStringLiteral("{\"kind\":")
                                    << columns.arg("ana", at, "R-1") << "is not that of";
    QTest::newRow("not a chain table")
        << "meta" << text.arg("ana", at) << columns.arg("ana", at, "R-1")
        << "meta is not a table of the chain";
    QTest::newRow("its own seq")
        << "mapping_runs" << text.arg("ana", at)
        << QString(columns.arg("ana", at, "R-1")).replace("{", "{\"seq\":7,")
        << "has no column seq";
}

// A login calling the function by hand gets no further than the program.
void TestPostgresChain::functionRefusesBadRows() {
    QFETCH(QString, table);
    QFETCH(QString, canonical);
    QFETCH(QString, columns);
    QFETCH(QString, says);
    const QString url = newDatabase();
    QVERIFY(!url.isEmpty());
    QVERIFY(test::execAs(url, kGrants));
    auto quote = [](QString s) { return s.replace(QLatin1Char('\''), QStringLiteral("''")); };
    const QString row = QStringLiteral(R"([{"table":"%1","ref":"mapping run R-1","canonical":%2,)"
                                       R"("columns":%3}])")
                            .arg(table, dose::quoted(canonical), columns);
    QString error;
    const bool ok = test::execAs(
        as(url, QStringLiteral("ana")),
        QStringLiteral("SELECT * FROM qvr100_chain_append('%1'::jsonb)").arg(quote(row)), &error);
    QCOMPARE(ok, says.isEmpty());
    QVERIFY2(error.contains(says), qPrintable(error));
    auto store = dose::Store::open(url);
    QVERIFY2(store, qPrintable(store.error()));
    const dose::ChainReport report = (*store)->verify();
    QVERIFY2(report.whole, qPrintable(report.problem));
    QCOMPARE(report.rows, says.isEmpty() ? 1 : 0);
}

// Two people writing at the same moment, each on a connection of their own, leave one chain.
void TestPostgresChain::twoPeopleAppendToOneChain() {
    const QString url = newDatabase();
    QVERIFY(!url.isEmpty());
    QVERIFY(test::execAs(url, kGrants));
    constexpr int kJobs = 25;
    QStringList errors[2];
    auto write = [&](int who) {
        const QString name = who ? QStringLiteral("bob") : QStringLiteral("ana");
        auto store = dose::Store::open(as(url, name), test::steppedClock());
        if (!store) {
            errors[who] << store.error();
            return;
        }
        for (int n = 0; n < kJobs; ++n) {
            dose::Job job;
            job.id = QStringLiteral("J-%1-%2").arg(name).arg(n);
            job.product = QStringLiteral("trays");
            job.dminKGy = 25;
            job.operatorName = name;
            if (auto r = (*store)->addJob(job); !r)
                errors[who] << r.error();
        }
    };
    std::thread first(write, 0), second(write, 1);
    first.join();
    second.join();
    QVERIFY2(errors[0].isEmpty() && errors[1].isEmpty(),
             qPrintable((errors[0] + errors[1]).join(QLatin1Char('\n'))));
    auto store = dose::Store::open(url);
    QVERIFY2(store, qPrintable(store.error()));
    const dose::ChainReport report = (*store)->verify();
    QVERIFY2(report.whole, qPrintable(report.problem));
    QCOMPARE(report.rows, 2 * kJobs);
    QCOMPARE(
        test::firstColumn(url,
                          QStringLiteral("SELECT login || ' ' || COUNT(*) FROM ledger GROUP BY "
                                         "login ORDER BY login")),
        (QStringList{QStringLiteral("ana %1").arg(kJobs), QStringLiteral("bob %1").arg(kJobs)}));
}

// The owner copies to SQLite and back: the same hashes, so a head noted before still verifies,
// and who appended each row comes along.
void TestPostgresChain::copyKeepsHashesAndLogins() {
    const QString url = newDatabase();
    QVERIFY(!url.isEmpty());
    QVERIFY(test::execAs(url, kGrants));
    QString head;
    {
        auto ana = dose::Store::open(as(url, QStringLiteral("ana")), test::steppedClock());
        QVERIFY2(ana, qPrintable(ana.error()));
        auto s = test::seedStore(**ana);
        QVERIFY2(s, qPrintable(s.error()));
        auto r = test::addScenarioRecord(**ana, *s, 3);
        QVERIFY2(r, qPrintable(r.error()));
        head = r->hash;
    }
    const QStringList logins =
        test::firstColumn(url, QStringLiteral("SELECT login FROM ledger ORDER BY seq"));
    QCOMPARE(logins, QStringList(5, QStringLiteral("ana")));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("desk.sqlite"));
    const QString back = newDatabase();
    QVERIFY(!back.isEmpty());
    {
        auto source = dose::Store::open(url);
        auto sqlite = dose::Store::open(file);
        QVERIFY2(source && sqlite, "cannot open both ends");
        auto copied = (*source)->copyInto(**sqlite);
        QVERIFY2(copied, qPrintable(copied.error()));
        QVERIFY((*sqlite)->verify(head).whole);
        auto target = dose::Store::open(back);
        QVERIFY2(target, qPrintable(target.error()));
        auto again = (*sqlite)->copyInto(**target);
        QVERIFY2(again, qPrintable(again.error()));
        const dose::ChainReport report = (*target)->verify(head);
        QVERIFY2(report.whole, qPrintable(report.problem));
    }
    QCOMPARE(test::firstColumn(back, QStringLiteral("SELECT login FROM ledger ORDER BY seq")),
             logins);
}

QTEST_GUILESS_MAIN(TestPostgresChain)
#include "test_postgres_chain.moc"
