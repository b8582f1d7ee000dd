// qvr100dose as separate processes on one SQLite file: a writer killed with SIGKILL at any
// moment loses nothing it reported and leaves a whole chain; two writers at once keep one chain.

#include "DoseProcesses.h"
#include "dose/store/Store.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace qvr::dose;
using namespace qvr::dose::test;

class TestDoseProcesses : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void killedWriterLosesNothingCommitted_data() {
        QTest::addColumn<int>("after");
        for (int after : {2, 7})
            QTest::addRow("after %d writes", after) << after;
    }
    void killedWriterLosesNothingCommitted() {
        QFETCH(int, after);
        const QString db = dir_.filePath(QStringLiteral("killed-%1.sqlite").arg(after));
        auto p = startJobWriter(db, QStringLiteral("K"), -1);
        QString out;
        while (addedJobs(out).size() < after) {
            QVERIFY2(p->waitForReadyRead(kProcessMs), p->readAllStandardError().constData());
            out += QString::fromUtf8(p->readAllStandardOutput());
        }
        ::kill(-static_cast<pid_t>(p->processId()), SIGKILL);
        QVERIFY(p->waitForFinished(kProcessMs));
        out += QString::fromUtf8(p->readAllStandardOutput());

        auto store = Store::open(db);
        QVERIFY2(store, qPrintable(store.error()));
        const ChainReport report = (*store)->verify(lastChainHead(out));
        QVERIFY2(report.whole, qPrintable(report.problem));
        const QStringList reported = addedJobs(out);
        for (const QString& id : reported)
            QVERIFY2((*store)->job(id), qPrintable(id));
        QVERIFY(report.rows >= reported.size());
    }

    void concurrentWritersKeepOneChain() {
        const QString db = dir_.filePath(QStringLiteral("concurrent.sqlite"));
        constexpr int kEach = 12;
        auto a = startJobWriter(db, QStringLiteral("A"), kEach);
        auto b = startJobWriter(db, QStringLiteral("B"), kEach);
        for (QProcess* p : {a.get(), b.get()}) {
            QVERIFY(p->waitForFinished(kProcessMs));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
        auto store = Store::open(db);
        QVERIFY2(store, qPrintable(store.error()));
        const ChainReport report = (*store)->verify();
        QVERIFY2(report.whole, qPrintable(report.problem));
        QCOMPARE(report.rows, 2 * kEach + 4); // and the four roles of the account that made it
        QCOMPARE((*store)->jobs()->size(), size_t(2 * kEach));
    }
};

QTEST_GUILESS_MAIN(TestDoseProcesses)
#include "test_dose_processes.moc"
