// The dose store on a real PostgreSQL server: the same chain as on SQLite, and tables that
// refuse changes by themselves.

#include "DoseScenario.h"
#include "PgServer.h"
#include "dose/store/Dialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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
        auto s = test::seedStore(**store);
        QVERIFY2(s, qPrintable(s.error()));
        for (int n = 0; n < 5; ++n)
            QVERIFY(test::addScenarioRecord(**store, *s, n));
        auto corrected = (*store)->correctRecord(2, [](const dose::Record& r) {
            dose::Record next = r;
            next.thicknessUm = 98.7;
            next.reason = QStringLiteral("gauge re-read: 98.7 µm");
            return dose::Outcome<dose::Record>(next);
        });
        QVERIFY2(corrected, qPrintable(corrected.error()));
        const dose::ChainReport report = (*store)->verify(corrected->hash);
        QVERIFY2(report.whole, qPrintable(report.problem));
        QCOMPARE(report.rows, 10);
        ledgers << report.headHash;
    }
    QCOMPARE(ledgers.at(1), ledgers.at(0));
}

void TestPostgresStore::tablesRefuseChanges_data() {
    QTest::addColumn<QString>("sql");
    QTest::newRow("update ledger") << "UPDATE ledger SET canonical = canonical || ' '";
    QTest::newRow("delete newest")
        << "DELETE FROM ledger WHERE seq = (SELECT MAX(seq) FROM ledger)";
    QTest::newRow("truncate ledger") << "TRUNCATE ledger CASCADE";
    QTest::newRow("update batch") << "UPDATE batches SET thickness_um = 90";
    QTest::newRow("delete job") << "DELETE FROM jobs";
    QTest::newRow("update record") << "UPDATE records SET dose_kgy = dose_kgy * 1.1";
    QTest::newRow("delete fit") << "DELETE FROM fits";
    QTest::newRow("truncate calibrations") << "TRUNCATE calibrations CASCADE";
}

// The server itself refuses: a client that bypasses the program (psql, a script) cannot change
// or remove a row either.
void TestPostgresStore::tablesRefuseChanges() {
    QFETCH(QString, sql);
    const QString url = newDatabase();
    QVERIFY2(!url.isEmpty(), qPrintable(server_->error()));
    QString head;
    {
        auto store = dose::Store::open(url, test::steppedClock());
        QVERIFY2(store, qPrintable(store.error()));
        auto s = test::seedStore(**store);
        QVERIFY2(s, qPrintable(s.error()));
        auto r = test::addScenarioRecord(**store, *s, 1);
        QVERIFY2(r, qPrintable(r.error()));
        head = r->hash;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("raw"));
        db.setHostName(server_->socketDir());
        db.setUserName(server_->superuser());
        db.setDatabaseName(url.section(QLatin1Char('/'), 3).section(QLatin1Char('?'), 0, 0));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        q.exec(QStringLiteral("SET client_min_messages = warning"));
        QVERIFY2(!q.exec(sql), "the server let a stored row be changed");
        QVERIFY2(q.lastError().text().contains(QLatin1String("append-only")),
                 qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    auto store = dose::Store::open(url);
    QVERIFY2(store, qPrintable(store.error()));
    const dose::ChainReport report = (*store)->verify(head);
    QVERIFY2(report.whole, qPrintable(report.problem));
}

QTEST_GUILESS_MAIN(TestPostgresStore)
#include "test_postgres_store.moc"
