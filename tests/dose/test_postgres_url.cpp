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

// parts: host, port, user and database; options: empty for the default timeout alone.
void TestPostgresUrl::parses_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QString>("options");
    using L = QStringList;
    QTest::newRow("full") << "postgresql://lab@db.example.org:5433/dose"
                          << L{"db.example.org", "5433", "lab", "dose"} << QString();
    QTest::newRow("short scheme") << "postgres://db/dose" << L{"db", "-1", "", "dose"} << QString();
    QTest::newRow("socket encoded in host")
        << "postgresql://lab@%2Frun%2Fpostgresql:5432/dose"
        << L{"/run/postgresql", "5432", "lab", "dose"} << QString();
    QTest::newRow("ipv6") << "postgresql://[::1]:5432/dose" << L{"::1", "5432", "", "dose"}
                          << QString();
    QTest::newRow("everything in query") << "postgresql://?host=h&port=6000&user=u&dbname=d"
                                         << L{"h", "6000", "u", "d"} << QString();
    QTest::newRow("percent-encoded names") << "postgresql://lab%40desk@h/dose%20lab"
                                           << L{"h", "-1", "lab@desk", "dose lab"} << QString();
    QTest::newRow("defaults") << "postgresql://" << L{"", "-1", "", ""} << QString();
    QTest::newRow("options quoted")
        << "postgresql://h/d?sslmode=require&application_name=desk%202&connect_timeout=3"
        << L{"h", "-1", "", "d"}
        << "sslmode='require';application_name='desk 2';connect_timeout='3'";
    QTest::newRow("quote in option")
        << "postgresql://h/d?application_name=o'hara" << L{"h", "-1", "", "d"}
        << "application_name='o\\'hara';connect_timeout=10";
}

void TestPostgresUrl::parses() {
    QFETCH(QString, given);
    QFETCH(QStringList, parts);
    QFETCH(QString, options);
    const PostgresUrl u = PostgresUrl::parse(given);
    QVERIFY2(u.ok(), qPrintable(u.error));
    QCOMPARE((QStringList{u.host, QString::number(u.port), u.user, u.database}), parts);
    QCOMPARE(u.options, options.isEmpty() ? QStringLiteral("connect_timeout=10") : options);
}

void TestPostgresUrl::refuses_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("says");
    const char* const rows[][2] = {
        {"postgresql://lab:secret@h/d", "~/.pgpass"},
        {"postgresql://h/d?password=secret", "~/.pgpass"},
        {"/var/lib/dose.sqlite", "not a PostgreSQL URL"},
        {"postgresql://h:99999/d", "not a valid"},
        {"postgresql://h/d?port=x", "not a port"},
        {"postgresql://h/d?host=/tmp", "host twice"},
        {"postgresql://h/a/b", "cannot hold '/'"},
        {"postgresql://h/d?application_name=a%3Bb", "cannot hold ';'"},
        {"postgresql://h/d?host%20x=1", "not a connection option"},
    };
    for (const auto& [location, says] : rows)
        QTest::newRow(location) << QString(location) << QString(says);
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
