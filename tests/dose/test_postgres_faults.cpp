// A connection to the lab's server lost during COMMIT: the write may have been committed or
// not, and qvr100dose finds out which from the ledger once connected again, or says that the
// outcome is unknown. Always one line on standard error for a failure.

#include "DoseProcesses.h"
#include "PgFaultProxy.h"
#include "PgServer.h"
#include "dose/store/Store.h"

#include <QTest>

using namespace qvr;
using namespace qvr::dose::test;
using Fault = test::PgFaultProxy::Fault;

class TestPostgresFaults : public QObject {
    Q_OBJECT
    std::unique_ptr<test::PgServer> server_;

private slots:
    void initTestCase() {
        QVR_REQUIRE_PG_BINARIES();
        QVERIFY2(QFile::exists(doseProgram()), "build qvr100dose first");
        server_ = std::make_unique<test::PgServer>();
        QVERIFY2(server_->start(), qPrintable(server_->error()));
        QVERIFY(server_->createDatabase(QStringLiteral("lab")));
        QCOMPARE(runDose({"--db", server_->url("lab"), "db", "init"}).status, 0);
    }

    void lostCommit_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("gone"); // the server cannot be reached after it
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("stored");
        QTest::newRow("reply lost after the commit")
            << int(Fault::LoseCommitReply) << false << 0 << "job J-1 added" << true;
        QTest::newRow("commit lost")
            << int(Fault::LoseCommit) << false << 1
            << "the write is not in the database: it was not committed" << false;
        QTest::newRow("reply lost, then the server")
            << int(Fault::LoseCommitReply) << true << 1 << "the outcome is unknown: run verify"
            << true;
    }
    void lostCommit() {
        QFETCH(int, fault);
        QFETCH(bool, gone);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(bool, stored);
        const QString job =
            QStringLiteral("J-%1%2").arg(QString::number(fault), QLatin1String(gone ? "g" : ""));
        test::PgFaultProxy relay(server_->socketDir());
        relay.arm(Fault(fault), gone);
        const Run r = runDose({"--db", relay.url("lab"), "job", "add", job});
        QVERIFY(relay.faulted());
        QCOMPARE(r.status, status);
        QVERIFY2((r.out + r.err).contains(said), qPrintable(r.out + r.err));
        if (status != 0)
            QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        const Run shown = runDose({"--db", server_->url("lab"), "job", "show", job});
        QCOMPARE(shown.status == 0, stored);
        QCOMPARE(runDose({"--db", server_->url("lab"), "verify"}).status, 0);
    }
};

QTEST_GUILESS_MAIN(TestPostgresFaults)
#include "test_postgres_faults.moc"
