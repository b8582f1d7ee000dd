// A PostgreSQL URL taken apart for QPSQL, and a connection made with it to a real server.

#include "PgServer.h"
#include "dose/store/PostgresUrl.h"

#include <QFile>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using qvr::dose::PostgresUrl;

class TestPostgresUrl : public QObject {
    Q_OBJECT
private slots:
    void parses_data();
    void parses();
    void refuses_data();
    void refuses();
    void connectsThroughSocketFolder();
    void passwordFromPgpass_data();
    void passwordFromPgpass();

private:
    // One server for the class, started by the first test that needs it.
    qvr::test::PgServer* server();
    std::unique_ptr<qvr::test::PgServer> server_;
};

qvr::test::PgServer* TestPostgresUrl::server() {
    if (!server_) {
        server_ = std::make_unique<qvr::test::PgServer>();
        if (!server_->start() || !server_->createDatabase(QStringLiteral("lab")) ||
            !server_->exec(QStringLiteral("lab"),
                           QStringLiteral("CREATE ROLE desk LOGIN PASSWORD 's3cret'")) ||
            !server_->requirePassword(QStringLiteral("desk")))
            qWarning("%s", qPrintable(server_->error()));
    }
    return server_->running() ? server_.get() : nullptr;
}

void TestPostgresUrl::parses_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("options");
    const QString timeout = QStringLiteral("connect_timeout=10");
    QTest::newRow("full") << "postgresql://lab@db.example.org:5433/dose"
                          << "db.example.org" << 5433 << "lab"
                          << "dose" << timeout;
    QTest::newRow("short scheme") << "postgres://db/dose"
                                  << "db" << -1 << ""
                                  << "dose" << timeout;
    QTest::newRow("socket in query") << "postgresql:///dose?host=/run/postgresql"
                                     << "/run/postgresql" << -1 << ""
                                     << "dose" << timeout;
    QTest::newRow("socket encoded in host") << "postgresql://lab@%2Frun%2Fpostgresql:5432/dose"
                                            << "/run/postgresql" << 5432 << "lab"
                                            << "dose" << timeout;
    QTest::newRow("ipv6") << "postgresql://[::1]:5432/dose"
                          << "::1" << 5432 << ""
                          << "dose" << timeout;
    QTest::newRow("everything in query") << "postgresql://?host=h&port=6000&user=u&dbname=d"
                                         << "h" << 6000 << "u"
                                         << "d" << timeout;
    QTest::newRow("percent-encoded names") << "postgresql://lab%40desk@h/dose%20lab"
                                           << "h" << -1 << "lab@desk"
                                           << "dose lab" << timeout;
    QTest::newRow("defaults") << "postgresql://"
                              << "" << -1 << ""
                              << "" << timeout;
    QTest::newRow("options quoted")
        << "postgresql://h/d?sslmode=require&application_name=desk%202&connect_timeout=3"
        << "h" << -1 << ""
        << "d"
        << "sslmode='require';application_name='desk 2';connect_timeout='3'";
    QTest::newRow("quote in option") << "postgresql://h/d?application_name=o'hara"
                                     << "h" << -1 << ""
                                     << "d"
                                     << "application_name='o\\'hara';connect_timeout=10";
}

void TestPostgresUrl::parses() {
    QFETCH(QString, given);
    const PostgresUrl u = PostgresUrl::parse(given);
    QVERIFY2(u.ok(), qPrintable(u.error));
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, user);
    QFETCH(QString, database);
    QFETCH(QString, options);
    QCOMPARE(u.host, host);
    QCOMPARE(u.port, port);
    QCOMPARE(u.user, user);
    QCOMPARE(u.database, database);
    QCOMPARE(u.options, options);
}

void TestPostgresUrl::refuses_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("says");
    QTest::newRow("password") << "postgresql://lab:secret@h/d"
                              << "~/.pgpass";
    QTest::newRow("password in query") << "postgresql://h/d?password=secret"
                                       << "~/.pgpass";
    QTest::newRow("a path") << "/var/lib/dose.sqlite"
                            << "not a PostgreSQL URL";
    QTest::newRow("bad port") << "postgresql://h:99999/d"
                              << "not a valid";
    QTest::newRow("bad port in query") << "postgresql://h/d?port=x"
                                       << "not a port";
    QTest::newRow("two hosts") << "postgresql://h/d?host=/tmp"
                               << "host twice";
    QTest::newRow("nested path") << "postgresql://h/a/b"
                                 << "cannot hold '/'";
    QTest::newRow("semicolon") << "postgresql://h/d?application_name=a%3Bb"
                               << "cannot hold ';'";
    QTest::newRow("odd keyword") << "postgresql://h/d?host%20x=1"
                                 << "not a connection option";
}

void TestPostgresUrl::refuses() {
    QFETCH(QString, given);
    QFETCH(QString, says);
    const PostgresUrl u = PostgresUrl::parse(given);
    QVERIFY(!u.ok());
    QVERIFY2(u.error.contains(says), qPrintable(u.error));
    QVERIFY2(!u.error.contains(QLatin1String("secret")), qPrintable(u.error));
}

void TestPostgresUrl::connectsThroughSocketFolder() {
    QVR_REQUIRE_PG_BINARIES();
    qvr::test::PgServer* pg = server();
    QVERIFY(pg);
    QVERIFY2(pg->createDatabase(QStringLiteral("dose lab")), qPrintable(pg->error()));
    const QString given = QStringLiteral("postgresql://%1@/dose%20lab?host=%2&application_name=t")
                              .arg(pg->superuser(), pg->socketDir());
    const PostgresUrl u = PostgresUrl::parse(given);
    QVERIFY2(u.ok(), qPrintable(u.error));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("t"));
        qvr::dose::applyPostgresUrl(u, db);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        QVERIFY(q.exec(
            QStringLiteral("SELECT current_database(), current_setting('application_name')")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("dose lab"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("t"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));
}

void TestPostgresUrl::passwordFromPgpass_data() {
    QTest::addColumn<QByteArray>("pgpass");
    QTest::addColumn<bool>("connects");
    QTest::newRow("no file") << QByteArray() << false;
    QTest::newRow("other password") << QByteArray("*:*:lab:desk:wrong\n") << false;
    QTest::newRow("its line") << QByteArray("*:*:lab:desk:s3cret\n") << true;
}

// The URL carries no password; libpq takes it from PGPASSFILE, as from ~/.pgpass.
void TestPostgresUrl::passwordFromPgpass() {
    QFETCH(QByteArray, pgpass);
    QFETCH(bool, connects);
    QVR_REQUIRE_PG_BINARIES();
    qvr::test::PgServer* pg = server();
    QVERIFY(pg);
    QTemporaryDir home;
    const QString file = home.filePath(QStringLiteral("pgpass"));
    if (!pgpass.isEmpty()) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(pgpass);
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    qputenv("PGPASSFILE", QFile::encodeName(file));
    const auto restore = qScopeGuard([] { qunsetenv("PGPASSFILE"); });
    const PostgresUrl u =
        PostgresUrl::parse(QStringLiteral("postgresql://desk@/lab?host=%1").arg(pg->socketDir()));
    QVERIFY2(u.ok(), qPrintable(u.error));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("p"));
        qvr::dose::applyPostgresUrl(u, db);
        QCOMPARE(db.open(), connects);
        if (!connects)
            QVERIFY2(db.lastError().text().contains(QLatin1String("password")),
                     qPrintable(db.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("p"));
}

QTEST_GUILESS_MAIN(TestPostgresUrl)
#include "test_postgres_url.moc"
