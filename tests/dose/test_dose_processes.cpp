// qvr100dose as separate processes on one SQLite file: a writer killed with SIGKILL at any
// moment loses nothing it reported and leaves a whole chain; two writers at once keep one chain.
// Real time: every wait is for a process event, with a generous limit.

#include "dose/store/Store.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace qvr::dose;

class TestDoseProcesses : public QObject {
    Q_OBJECT

    static constexpr int kWaitMs = 120000;
    QTemporaryDir dir_;

    // A shell adding jobs PREFIX0, PREFIX1, ... (count < 0: until killed), in its own process
    // group so that a kill reaches the qvr100dose it is running.
    std::unique_ptr<QProcess> writer(const QString& db, const QString& prefix, int count) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QVR100_DOSE_DB"), db);
        env.insert(QStringLiteral("DOSE"), QStringLiteral(QVR100_BIN_DIR "/qvr100dose"));
        p->setProcessEnvironment(env);
        p->setChildProcessModifier([] { ::setpgid(0, 0); });
        p->start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("i=0; while [ %1 -lt 0 ] || [ $i -lt %1 ]; do "
                                 "\"$DOSE\" job add %2$i || exit 1; i=$((i+1)); done")
                      .arg(count)
                      .arg(prefix)});
        return p;
    }

    static QStringList added(const QByteArray& out) {
        QStringList ids;
        static const QRegularExpression line(QStringLiteral("^job (\\S+) added$"),
                                             QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(QString::fromUtf8(out)); it.hasNext();)
            ids << it.next().captured(1);
        return ids;
    }

    static QString lastHead(const QByteArray& out) {
        const qsizetype at = out.lastIndexOf("chain head ");
        return at < 0 ? QString() : QString::fromLatin1(out.mid(at + 11, 64));
    }

private slots:
    void killedWriterLosesNothingCommitted_data() {
        QTest::addColumn<int>("after");
        for (int after : {2, 7})
            QTest::addRow("after %d writes", after) << after;
    }
    void killedWriterLosesNothingCommitted() {
        QFETCH(int, after);
        const QString db = dir_.filePath(QStringLiteral("killed-%1.sqlite").arg(after));
        auto p = writer(db, QStringLiteral("K"), -1);
        QByteArray out;
        while (added(out).size() < after) {
            QVERIFY2(p->waitForReadyRead(kWaitMs), p->readAllStandardError().constData());
            out += p->readAllStandardOutput();
        }
        ::kill(-static_cast<pid_t>(p->processId()), SIGKILL);
        QVERIFY(p->waitForFinished(kWaitMs));
        out += p->readAllStandardOutput();

        auto store = Store::open(db);
        QVERIFY2(store, qPrintable(store.error()));
        const ChainReport report = (*store)->verify(lastHead(out));
        QVERIFY2(report.whole, qPrintable(report.problem));
        const QStringList reported = added(out);
        for (const QString& id : reported)
            QVERIFY2((*store)->job(id), qPrintable(id));
        QVERIFY(report.rows >= reported.size());
    }

    void concurrentWritersKeepOneChain() {
        const QString db = dir_.filePath(QStringLiteral("concurrent.sqlite"));
        constexpr int kEach = 12;
        auto a = writer(db, QStringLiteral("A"), kEach);
        auto b = writer(db, QStringLiteral("B"), kEach);
        for (QProcess* p : {a.get(), b.get()}) {
            QVERIFY(p->waitForFinished(kWaitMs));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
        auto store = Store::open(db);
        QVERIFY2(store, qPrintable(store.error()));
        const ChainReport report = (*store)->verify();
        QVERIFY2(report.whole, qPrintable(report.problem));
        QCOMPARE(report.rows, 2 * kEach);
        QCOMPARE((*store)->jobs()->size(), size_t(2 * kEach));
    }
};

QTEST_GUILESS_MAIN(TestDoseProcesses)
#include "test_dose_processes.moc"
