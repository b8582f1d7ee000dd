// The dose store on a real PostgreSQL server: the same chain as on SQLite, and tables that
// refuse changes by themselves.

#include "DoseScenario.h"
#include "PgServer.h"
#include "PgSession.h"
#include "dose/store/Dialect.h"

#include <QTemporaryDir>
#include <QTest>

using namespace qvr;

class TestPostgresStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sameChainOnBothDatabases();
    void tablesRefuseChanges_data();
    void tablesRefuseChanges();

private:
    QString newDatabase();
    std::unique_ptr<test::PgServer> server_;
    int databases_ = 0;
};

void TestPostgresStore::initTestCase() {
    QVR_REQUIRE_PG_BINARIES();
    server_ = std::make_unique<test::PgServer>();
    QVERIFY2(server_->start(), qPrintable(server_->error()));
}

QString TestPostgresStore::newDatabase() {
    const QString name = QStringLiteral("dose%1").arg(++databases_);
    return server_->createDatabase(name) ? server_->url(name) : QString();
}

// Everything a row holds (texts with quotes, doubles of 13 digits, times) reads back from the
// server exactly as written, so both databases chain the same texts to the same hashes.
void TestPostgresStore::sameChainOnBothDatabases() {
    QTemporaryDir dir;
    const QString url = newDatabase();
    QVERIFY2(!url.isEmpty(), qPrintable(server_->error()));
    QStringList ledgers;
    for (const QString& location : {dir.filePath(QStringLiteral("dose.sqlite")), url}) {
        auto store = dose::Store::open(location, test::steppedClock());
        QVERIFY2(store, qPrintable(store.error()));
        // Another desk's view of the same database notices each write.
        auto other = dose::Store::open(location, test::steppedClock());
        QVERIFY2(other, qPrintable(other.error()));
        const auto before = (*other)->changeMark();
        QVERIFY2(before, qPrintable(before.error()));
        auto s = test::seedStore(**store);
        QVERIFY2(s, qPrintable(s.error()));
        const auto after = (*other)->changeMark();
        QVERIFY(after && *after != *before);
        QCOMPARE(*(*other)->changeMark(), *after);
        for (int n = 0; n < 5; ++n)
            QVERIFY(test::addScenarioRecord(**store, *s, n));
        auto corrected = (*store)->correctRecord(2, [](const dose::Record& r) {
            dose::Record next = r;
            next.thicknessUm = 98.7;
            next.reason = QStringLiteral("gauge re-read: 98.7 µm");
            return dose::Outcome<dose::Record>(next);
        });
        QVERIFY2(corrected, qPrintable(corrected.error()));
        dose::Amendment later;
        later.subject = dose::kBatchSubject;
        later.subjectId = s->batch.id;
        later.background = {{510, 0.1012345678901}};
        later.uBackground = {{510, 0.003}, {600, 0.0025}};
        later.reason = QStringLiteral("background measured again, \"ré-read\"; 2 films");
        later.operatorName = QStringLiteral("ana");
        QVERIFY((*store)->amend(later));
        later.subject = dose::kCalibrationSubject;
        later.subjectId = QString::number(s->calibration.id);
        later.background.clear();
        later.uBackground.clear();
        later.certificate = QStringLiteral("CERT-2026/17");
        later.validUntil = QDate(2027, 3, 1);
        const auto amended = (*store)->amend(later);
        QVERIFY2(amended, qPrintable(amended.error()));
        QCOMPARE((*store)->batch(s->batch.id)->uA0(600), 0.0025);
        QCOMPARE((*store)->calibration(s->calibration.id)->validUntil, QDate(2027, 3, 1));
        const dose::ChainReport report = (*store)->verify(amended->hash);
        QVERIFY2(report.whole, qPrintable(report.problem));
        QCOMPARE(report.rows, 12);
        ledgers << report.headHash;
    }
    QCOMPARE(ledgers.at(1), ledgers.at(0));
}

void TestPostgresStore::tablesRefuseChanges_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("says");
    const QString owner = test::PgServer::superuser(), person = QStringLiteral("ana");
    // Every table gets its triggers from the one loop test_dose_store checks table by table;
    // here each kind of statement once.
    const QString appendOnly = QStringLiteral("append-only");
    QTest::newRow("update ledger")
        << owner << "UPDATE ledger SET canonical = canonical || ' '" << appendOnly;
    QTest::newRow("delete newest")
        << owner << "DELETE FROM ledger WHERE seq = (SELECT MAX(seq) FROM ledger)" << appendOnly;
    QTest::newRow("truncate ledger") << owner << "TRUNCATE ledger CASCADE" << appendOnly;
    // A person's login reads and appends through the owner's function only: it cannot switch
    // the triggers off either.
    QTest::newRow("person updates") << person << "UPDATE fits SET rms_percent = 0"
                                    << "permission denied";
    QTest::newRow("person disables triggers") << person << "ALTER TABLE ledger DISABLE TRIGGER ALL"
                                              << "must be owner";
}

// The server itself refuses: a client that bypasses the program (psql, a script) cannot change
// or remove a row either. A person whose login may only read and append writes and verifies
// through the store (the scenario's rows are ana's).
void TestPostgresStore::tablesRefuseChanges() {
    QFETCH(QString, user);
    QFETCH(QString, sql);
    QFETCH(QString, says);
    const QString url = newDatabase();
    QVERIFY2(!url.isEmpty(), qPrintable(server_->error()));
    auto as = [&](const QString& who) {
        return QString(url).replace(test::PgServer::superuser() + QLatin1Char('@'),
                                    who + QLatin1Char('@'));
    };
    {
        auto store = dose::Store::open(url, test::steppedClock());
        QVERIFY2(store, qPrintable(store.error()));
        auto s = test::seedStore(**store);
        QVERIFY2(s, qPrintable(s.error()));
        QVERIFY(test::addScenarioRecord(**store, *s, 1));
    }
    QVERIFY(test::execAs(url, QStringLiteral("DO $$ BEGIN CREATE ROLE ana LOGIN; EXCEPTION WHEN "
                                             "duplicate_object THEN NULL; END $$")));
    QVERIFY(test::execAs(url,
                         QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO ana; GRANT "
                                        "EXECUTE ON FUNCTION qvr100_chain_append(jsonb) TO ana")));
    QString head;
    {
        auto store = dose::Store::open(as(QStringLiteral("ana")), test::steppedClock());
        QVERIFY2(store, qPrintable(store.error()));
        auto job = (*store)->job(QStringLiteral("J-7"));
        QVERIFY2(job, qPrintable(job.error()));
        dose::Job next = *job;
        next.id = QStringLiteral("J-8");
        auto r = (*store)->addJob(next);
        QVERIFY2(r, qPrintable(r.error()));
        head = r->hash;
    }
    QString error;
    QVERIFY2(!test::execAs(as(user), sql, &error), "the server let a stored row be changed");
    QVERIFY2(error.contains(says), qPrintable(error));
    auto store = dose::Store::open(url);
    QVERIFY2(store, qPrintable(store.error()));
    const dose::ChainReport report = (*store)->verify(head);
    QVERIFY2(report.whole, qPrintable(report.problem));
}

QTEST_GUILESS_MAIN(TestPostgresStore)
#include "test_postgres_store.moc"
