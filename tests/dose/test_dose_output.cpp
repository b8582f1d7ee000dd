// Where qvr100dose's output goes, and that a write that fails is an exit status 1 with one
// line, never a silent loss: standard output on a full device or past a file-size limit, and
// each kind of export target. Real processes, so that the limit and the device act on the
// program as they would on a desk.

#include "DoseProcesses.h"
#include "DoseScenario.h"
#include "dose/core/Operator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace qvr;
using namespace qvr::dose::test;

namespace {

struct Target {
    QString stdoutFile;       // standard output goes here, else to a pipe
    rlim_t fileSizeLimit = 0; // RLIMIT_FSIZE, 0: none
};

Run runDoseTo(const QString& db, const QStringList& args, const Target& target) {
    QProcess p;
    if (!target.stdoutFile.isEmpty())
        p.setStandardOutputFile(target.stdoutFile);
    const rlim_t limit = target.fileSizeLimit;
    p.setChildProcessModifier([limit] {
        if (limit) {
            const rlimit r{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &r);
        }
    });
    p.start(doseProgram(), QStringList{QStringLiteral("--db"), db} + args);
    Run r;
    if (!p.waitForFinished(kProcessMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString kindOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("none");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("link");
    if (S_ISCHR(st.st_mode))
        return QStringLiteral("device");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("fifo");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("folder");
    return QStringLiteral("file");
}

} // namespace

class TestDoseOutput : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString db_ = dir_.filePath(QStringLiteral("dose.sqlite"));

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(doseProgram()), "build qvr100dose first");
        // Made by the account the program runs as, which holds every role in it.
        auto store = dose::Store::open(db_, test::steppedClock(), dose::IfMissing::Create,
                                       dose::loginName());
        QVERIFY2(store, qPrintable(store.error()));
        auto s = test::seedStore(**store);
        QVERIFY2(s, qPrintable(s.error()));
        for (int n = 0; n < 200; ++n) // an export of about 80 kB
            QVERIFY(test::addScenarioRecord(**store, *s, n));
    }

    void standardOutput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("full"); // the full device, else a file past the size limit
        QTest::addColumn<QString>("said");
        const QStringList list{"record", "list", "--job", "J-7", "--csv"};
        QTest::newRow("list on a full device")
            << list << true << "the output of record list is lost";
        QTest::newRow("list past the limit")
            << list << false << "the output of record list is lost";
        QTest::newRow("export to - on a full device")
            << QStringList{"export", "--job", "J-7", "--csv", "-"} << true
            << "the output of export is lost";
        QTest::newRow("verify as JSON")
            << QStringList{"--json", "verify"} << true << "the output of verify is lost";
        QTest::newRow("a write's chain head")
            << QStringList{"job", "add", "J-FULL"} << true
            << "its report is lost, but the write was done: chain head ";
    }
    void standardOutput() {
        QFETCH(QStringList, args);
        QFETCH(bool, full);
        QFETCH(QString, said);
        const Target target{full ? QStringLiteral("/dev/full") : dir_.filePath("out.csv"),
                            full ? rlim_t(0) : rlim_t(40000)};
        const Run r = runDoseTo(db_, args, target);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("qvr100dose: standard output could not be "
                                                 "written (%1)")
                                      .arg(full ? "No space left on device" : "File too large")),
                 qPrintable(r.err));
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
    }

    void exportTargets_data() {
        QTest::addColumn<QString>("target"); // in the scratch folder
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("after"); // what the target is afterwards
        QTest::newRow("new file") << "new.csv" << 0 << "written to"
                                  << "file";
        QTest::newRow("existing file, replaced") << "old.csv" << 0 << "written to"
                                                 << "file";
        QTest::newRow("standard output") << "-" << 0 << "# qvr100dose records of job J-7"
                                         << "";
        QTest::newRow("/dev/stdout") << "/dev/stdout" << 0 << "record,version"
                                     << "";
        QTest::newRow("folder") << "folder" << 1 << "it is a folder"
                                << "folder";
        QTest::newRow("FIFO") << "fifo" << 1 << "it is a FIFO"
                              << "fifo";
        QTest::newRow("symbolic link") << "link" << 1 << "it is a symbolic link"
                                       << "link";
        QTest::newRow("device taking all") << "null" << 0 << "written to"
                                           << "device";
        QTest::newRow("full device") << "full" << 1 << "No space left on device"
                                     << "device";
        QTest::newRow("past the size limit") << "limited.csv" << 1 << "File too large"
                                             << "file";
    }
    void exportTargets() {
        QFETCH(QString, target);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(QString, after);
        QTemporaryDir scratch;
        QDir here(scratch.path());
        QVERIFY(here.mkdir(QStringLiteral("folder")));
        QVERIFY(::mkfifo(qPrintable(here.filePath("fifo")), 0600) == 0);
        QFile old(here.filePath(QStringLiteral("limited.csv")));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an earlier export\n") > 0);
        old.close();
        QVERIFY(QFile::copy(old.fileName(), here.filePath(QStringLiteral("old.csv"))));
        QVERIFY(QFile::link(old.fileName(), here.filePath(QStringLiteral("link"))));
        if (target == QLatin1String("null") || target == QLatin1String("full")) {
            // Nodes of its own, so that nothing here can touch the system's.
            const dev_t device = makedev(1, target == QLatin1String("null") ? 3 : 7);
            if (::mknod(qPrintable(here.filePath(target)), S_IFCHR | 0600, device) != 0)
                QSKIP("making a device node needs root");
        }
        const QString path = target.startsWith(QLatin1Char('/')) || target == QLatin1String("-")
                                 ? target
                                 : here.filePath(target);
        const Run r = runDoseTo(
            db_, {"export", "--job", "J-7", "--csv", path},
            {QString(), target == QLatin1String("limited.csv") ? rlim_t(40000) : rlim_t(0)});
        QCOMPARE(r.status, status);
        QVERIFY2((r.out + r.err).contains(said), qPrintable(r.out + r.err));
        if (!after.isEmpty())
            QCOMPARE(kindOf(path), after);
        // Nothing half-written anywhere: no temporary file left, the earlier export whole.
        QCOMPARE(here.entryList(QDir::Files | QDir::Hidden).filter(QLatin1String(".csv.")),
                 QStringList());
        QFile earlier(old.fileName());
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("an earlier export\n"));
    }
};

QTEST_GUILESS_MAIN(TestDoseOutput)
#include "test_dose_output.moc"
