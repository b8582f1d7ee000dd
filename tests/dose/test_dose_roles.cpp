// Roles through the command line: every command refused without its role (one line, exit 1,
// nothing written) and let through with it; grants, withdrawals and the last administrator; the
// first administrator of a new and of a migrated database; roles carried by db copy through a
// private PostgreSQL server and back.

#include "PgServer.h"
#include "dose/cli/Cli.h"
#include "dose/store/Store.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace qvr::dose;

class TestDoseRoles : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out_, err_;
    QString db_;
    int copies_ = 0;
    std::unique_ptr<qvr::test::PgServer> server_;

    int run(const QString& account, const QStringList& args, const QString& db = QString()) {
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        CliEnv env;
        env.out = &out;
        env.err = &err;
        env.now = [] { return QDateTime(QDate(2026, 12, 8), QTime(9, 0), Qt::UTC); };
        env.operatorName = account;
        env.database = db.isEmpty() ? db_ : db;
        return runCli(args, env);
    }
    int run(const QString& account, const QString& line) {
        return run(account, line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }
    QString head(const QString& db = QString()) {
        auto store = Store::open(db.isEmpty() ? db_ : db, systemNow(), IfMissing::Refuse);
        if (!store)
            return store.error();
        auto h = (*store)->headHash();
        return h ? *h : h.error();
    }
    QJsonArray roleList(const QString& db) {
        run(QStringLiteral("ada"),
            {QStringLiteral("--json"), QStringLiteral("role"), QStringLiteral("list")}, db);
        return QJsonDocument::fromJson(out_.toUtf8()).array();
    }
    QString file(const QString& name) { return dir_.filePath(name); }

private slots:
    void initTestCase() {
        db_ = file(QStringLiteral("dose.sqlite"));
        QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("db init")), 0);
        QVERIFY2(out_.contains(QStringLiteral("ada is its first administrator")), qPrintable(out_));
        QFile csv(file(QStringLiteral("run.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("position,dosimeter,dose_kGy,U_kGy,k,source\n");
    }

    // The role each command needs, independently of the program's table; a command missing here
    // fails commandsAreAllInTheTable.
    void everyCommand_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("role");
        const QString csv = file(QStringLiteral("run.csv")),
                      cal = QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv");
        const struct {
            const char* name;
            const char* arguments;
            const char* role;
        } rows[] = {
            {"read", "--job J1 --dosimeter D1 --calibration 1", "operator"},
            {"record correct", "1 --thickness-um 50 --reason r", "operator"},
            {"job add", "J1", "operator"},
            {"job approve", "J1", "reviewer"},
            {"job return", "J1 --reason r", "reviewer"},
            {"batch add", "L1 --thickness-um 50", "metrologist"},
            {"batch amend", "L1 --background 600=0.1 --reason r", "metrologist"},
            {"calibration import", "CAL --batch L1 --head 1 --wavelength 600", "metrologist"},
            {"calibration fit", "1", "metrologist"},
            {"calibration amend", "1 --certificate C --reason r", "metrologist"},
            {"calibration check", "1 --monte-carlo 10", "metrologist"},
            {"lab set", "--min-levels 6", "metrologist"},
            {"mapping add",
             "S1 --min-required 10 --max-acceptable 40 --product P --process-value 5 "
             "--process-unit min",
             "metrologist"},
            {"mapping position add", "S1 P1 --layer 1 --monitoring", "metrologist"},
            {"mapping run add", "S1 R1", "metrologist"},
            {"mapping import", "R1 --csv CSV", "metrologist"},
            {"mapping approve", "S1", "metrologist"},
            {"role grant", "bob operator", "administrator"},
            {"role withdraw", "ada operator --reason r", "administrator"},
            {"db init", "", "administrator"},
            {"db migrate", "", "administrator"},
            {"db copy", "--from DB --to COPY", "administrator"},
            {"dose", "--calibration 1 --absorbance 0.5", ""},
            {"verify", "", ""},
            {"export", "--job J1 --csv OUT", ""},
            {"batch list", "", ""},
            {"batch show", "L1", ""},
            {"calibration list", "", ""},
            {"calibration show", "1", ""},
            {"job list", "", ""},
            {"job show", "J1", ""},
            {"job report", "J1 --pdf OUT", ""},
            {"record list", "--job J1", ""},
            {"lab show", "", ""},
            {"mapping list", "", ""},
            {"mapping summary", "S1", ""},
            {"mapping report", "S1 --pdf OUT", ""},
            {"role list", "", ""},
        };
        for (const auto& r : rows) {
            QString line =
                QStringLiteral("%1 %2").arg(QLatin1String(r.name), QLatin1String(r.arguments));
            line.replace(QStringLiteral("CSV"), csv)
                .replace(QStringLiteral("CAL"), cal)
                .replace(QStringLiteral("OUT"), file(QStringLiteral("out")))
                .replace(QStringLiteral(" DB "), QLatin1Char(' ') + db_ + QLatin1Char(' '));
            QTest::newRow(r.name) << line << QString::fromLatin1(r.role);
        }
    }

    void everyCommand() {
        QFETCH(QString, line);
        QFETCH(QString, role);
        if (line.endsWith(QLatin1String("COPY")))
            line.replace(QStringLiteral("COPY"),
                         file(QStringLiteral("copy%1.sqlite").arg(++copies_)));
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        const QString before = head();
        const int status = run(QStringLiteral("mallory"), line);
        if (role.isEmpty()) {
            QVERIFY2(!err_.contains(QStringLiteral(" role;")), qPrintable(err_));
            QCOMPARE(run(QString(), line), 1);
            QVERIFY2(err_.contains(QStringLiteral("needs an account")), qPrintable(err_));
            return;
        }
        QCOMPARE(status, 1);
        QCOMPARE(err_, QStringLiteral("qvr100dose: %1 needs the %2 role; mallory has no role\n")
                           .arg(name, role));
        QCOMPARE(out_, QString());
        QCOMPARE(head(), before);
        // With the role, the command goes past the check (and may still refuse on its own).
        QCOMPARE(run(QStringLiteral("ada"), {QStringLiteral("role"), QStringLiteral("grant"),
                                             QStringLiteral("mallory"), role}),
                 0);
        run(QStringLiteral("mallory"), line);
        QVERIFY2(!err_.contains(QStringLiteral(" role;")), qPrintable(err_));
        QVERIFY2(!err_.contains(QStringLiteral("Usage")), qPrintable(err_));
        // The grant may have been withdrawn by the command itself.
        if (line.startsWith(QLatin1String("role withdraw")))
            QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("role grant ada operator")), 0);
        QCOMPARE(run(QStringLiteral("ada"),
                     {QStringLiteral("role"), QStringLiteral("withdraw"), QStringLiteral("mallory"),
                      role, QStringLiteral("--reason"), QStringLiteral("done")}),
                 0);
    }

    // The metrologist sets the lab's other settings; the idle lock is the administrator's.
    void idleLockIsTheAdministrators() {
        QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("role grant mallory metrologist")), 0);
        const QString before = head();
        QCOMPARE(run(QStringLiteral("mallory"), QStringLiteral("lab set --idle-lock-minutes 5")), 1);
        QCOMPARE(err_, QStringLiteral("qvr100dose: lab set --idle-lock-minutes needs the "
                                      "administrator role; mallory has metrologist\n"));
        QCOMPARE(head(), before);
        QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("lab set --idle-lock-minutes 5")), 0);
        QCOMPARE(run(QStringLiteral("ada"),
                     QStringLiteral("role withdraw mallory metrologist --reason done")),
                 0);
    }

    void commandsAreAllInTheTable() {
        const QStringList usage = programUsage().split(QLatin1Char('\n'));
        QStringList commands;
        for (const QString& l : usage)
            if (l.startsWith(QLatin1String("  ")) && !l.startsWith(QLatin1String("   ")) &&
                !l.trimmed().startsWith(QLatin1Char('-')))
                commands << l.trimmed();
        QVERIFY(commands.size() > 30);
        const QString tested = QStringLiteral(
            "read|record correct|job add|job approve|job return|batch add|batch amend|calibration "
            "import|calibration fit|calibration amend|calibration check|lab set|mapping add|"
            "mapping position add|mapping run add|mapping import|mapping approve|role grant|role "
            "withdraw|db init|db migrate|db copy|dose|verify|export|batch list|batch show|"
            "calibration list|calibration show|job list|job show|job report|record list|lab show|"
            "mapping list|mapping summary|mapping report|role list");
        const QRegularExpression known(QStringLiteral("^(%1)( |$)").arg(tested));
        for (const QString& c : commands)
            QVERIFY2(known.match(c).hasMatch(), qPrintable(c + QStringLiteral(" is not tested")));
    }

    void grantsAndWithdrawals() {
        const QString before = head();
        QCOMPARE(run(QStringLiteral("ada"),
                     QStringLiteral("role withdraw ada administrator --reason leaving")),
                 1);
        QCOMPARE(err_, QStringLiteral("qvr100dose: ada is the last administrator: grant the role "
                                      "to another account first\n"));
        QCOMPARE(head(), before);
        QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("role withdraw ada administrator")), 2);
        QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("role grant ada chief")), 2);
        QVERIFY(err_.contains(QStringLiteral("there is no role \"chief\"")));
        QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("role grant ada reviewer")), 1);
        QCOMPARE(err_, QStringLiteral("qvr100dose: ada already has the reviewer role\n"));
        QCOMPARE(
            run(QStringLiteral("ada"), QStringLiteral("role withdraw bob reviewer --reason x")), 1);
        QCOMPARE(err_, QStringLiteral("qvr100dose: bob does not have the reviewer role\n"));
        QCOMPARE(head(), before);

        QCOMPARE(run(QStringLiteral("ada"),
                     QStringLiteral("role grant bob administrator --reason deputy")),
                 0);
        QVERIFY(out_.startsWith(QStringLiteral("bob now has the administrator role\nchain head ")));
        QCOMPARE(run(QStringLiteral("bob"),
                     QStringLiteral("role withdraw ada administrator --reason rotation")),
                 0);
        QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("role grant carl operator")), 1);
        QCOMPARE(err_,
                 QStringLiteral("qvr100dose: role grant needs the administrator role; ada has "
                                "operator, reviewer, metrologist\n"));
        QCOMPARE(run(QStringLiteral("bob"), QStringLiteral("job approve J1")), 1);
        QCOMPARE(err_, QStringLiteral("qvr100dose: job approve needs the reviewer role; bob has "
                                      "operator, administrator\n"));

        const QJsonArray list = roleList(db_);
        QJsonObject bob;
        for (const QJsonValue& v : list)
            if (v[QStringLiteral("account")] == QStringLiteral("bob"))
                bob = v.toObject();
        QCOMPARE(bob[QStringLiteral("roles")].toArray().size(), 2); // operator, administrator
        const QJsonObject held = bob[QStringLiteral("roles")][1].toObject();
        QCOMPARE(held[QStringLiteral("role")].toString(), QStringLiteral("administrator"));
        QCOMPARE(held[QStringLiteral("granted_by")].toString(), QStringLiteral("ada"));
        QCOMPARE(held[QStringLiteral("granted_at")].toString(),
                 QStringLiteral("2026-12-08T09:00:00.000Z"));
        // Back as it was for the cases after this one.
        QCOMPARE(run(QStringLiteral("bob"), QStringLiteral("role grant ada administrator")), 0);
        QVERIFY((*Store::open(db_))->verify().whole);
    }

    // A database of the signed-review schema gets roles when migrated, the migrating account
    // its first administrator, and its earlier rows keep their hashes.
    void migratedDatabaseFoundsItsAdministrator() {
        const QString old = file(QStringLiteral("v10.sqlite"));
        QString oldHead;
        {
            auto store = Store::openAtVersion(old, 10);
            QVERIFY2(store, qPrintable(store.error()));
            Batch b;
            b.id = QStringLiteral("L9");
            b.thicknessUm = 50;
            b.operatorName = QStringLiteral("ana");
            QVERIFY((*store)->addBatch(b));
            oldHead = *(*store)->headHash();
        }
        QCOMPARE(
            run(QStringLiteral("root"), {QStringLiteral("db"), QStringLiteral("migrate")}, old), 0);
        QVERIFY2(out_.contains(QStringLiteral("migrated from schema version 10 to 12")),
                 qPrintable(out_));
        QVERIFY2(out_.contains(QStringLiteral("root is its first administrator and holds every "
                                              "role")),
                 qPrintable(out_));
        auto store = Store::open(old, systemNow(), IfMissing::Refuse);
        QVERIFY(store);
        const ChainReport report = (*store)->verify();
        QVERIFY2(report.whole, qPrintable(report.problem));
        QCOMPARE(report.rows, 5); // the batch and root's four roles
        auto roles = (*store)->roles();
        QVERIFY(roles);
        QCOMPARE(rolesText(*roles, QStringLiteral("root")),
                 QStringLiteral("operator, reviewer, metrologist, administrator"));
        auto changes = (*store)->roleChanges();
        QCOMPARE(changes->front().reason, QStringLiteral("migrated the database to roles"));
        QCOMPARE(run(QStringLiteral("root"), {QStringLiteral("verify")}, old), 0);
        QCOMPARE(run(QStringLiteral("ana"), {QStringLiteral("db"), QStringLiteral("migrate")}, old),
                 1);
        QCOMPARE(err_, QStringLiteral("qvr100dose: db migrate needs the administrator role; ana "
                                      "has no role\n"));
        {
            QSqlDatabase raw =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
            raw.setDatabaseName(old);
            QVERIFY(raw.open());
            QSqlQuery q(raw);
            QVERIFY(q.exec(QStringLiteral("SELECT hash FROM ledger WHERE seq = 1")) && q.next());
            QCOMPARE(q.value(0).toString(), oldHead); // the batch kept its hash
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }

    void rolesTravelThroughPostgresAndBack() {
        QVR_REQUIRE_PG_BINARIES();
        server_ = std::make_unique<qvr::test::PgServer>();
        QVERIFY2(server_->start(), qPrintable(server_->error()));
        QVERIFY2(server_->createDatabase(QStringLiteral("lab")), qPrintable(server_->error()));
        const QString url = server_->url(QStringLiteral("lab"));
        QCOMPARE(run(QStringLiteral("ada"), QStringLiteral("role grant eve reviewer --reason QA")),
                 0);
        const QString sourceHead = head();
        QCOMPARE(run(QStringLiteral("ada"),
                     {QStringLiteral("db"), QStringLiteral("copy"), QStringLiteral("--from"), db_,
                      QStringLiteral("--to"), url}),
                 0);
        QCOMPARE(head(url), sourceHead);
        QCOMPARE(roleList(url), roleList(db_));
        // A person without the administrator role on the server's copy may not copy it out.
        QCOMPARE(run(QStringLiteral("eve"),
                     {QStringLiteral("db"), QStringLiteral("copy"), QStringLiteral("--from"), url,
                      QStringLiteral("--to"), file(QStringLiteral("back-eve.sqlite"))}),
                 1);
        QCOMPARE(err_, QStringLiteral("qvr100dose: db copy needs the administrator role; eve has "
                                      "reviewer\n"));
        const QString back = file(QStringLiteral("back.sqlite"));
        QCOMPARE(run(QStringLiteral("ada"),
                     {QStringLiteral("db"), QStringLiteral("copy"), QStringLiteral("--from"), url,
                      QStringLiteral("--to"), back}),
                 0);
        QCOMPARE(roleList(back), roleList(db_));
        QCOMPARE(run(QStringLiteral("ada"),
                     {QStringLiteral("verify"), QStringLiteral("--expect"), sourceHead}, back),
                 0);
        // Roles written on the server are the server's: a grant there is kept there.
        QCOMPARE(run(QStringLiteral("ada"),
                     {QStringLiteral("role"), QStringLiteral("grant"), QStringLiteral("fay"),
                      QStringLiteral("operator")},
                     url),
                 0);
        QCOMPARE(run(QStringLiteral("fay"),
                     {QStringLiteral("job"), QStringLiteral("add"), QStringLiteral("PG1")}, url),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestDoseRoles)
#include "test_dose_roles.moc"
