// qvr100pci --headless on the simulated head, seen from the bus and through qvr100ctl. The program
// is a child process in real time: every wait is for an event, with a generous limit.

#include "BusProbe.h"
#include "TempXdg.h"
#include "link/LinkSource.h"

#include <QDBusServiceWatcher>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

using namespace qvr;

class TestHeadless : public QObject {
    Q_OBJECT

    static constexpr int kWaitMs = 30000; // start-up, zero and a reading on a busy machine
    const QString kProgram = QStringLiteral(QVR100_BIN_DIR "/qvr100pci");
    const QString kCtl = QStringLiteral(QVR100_BIN_DIR "/qvr100ctl");
    const QString kText = QStringLiteral("([ -]?\\d\\.\\d{3}|>3\\.0|Zeroing)");
    qvr::test::TempXdg xdg_;
    const QString trace_ = xdg_.configHome() + "/card.trace"; // what refused programs did
    QProcess program_;

    QProcessEnvironment environment(const QString& trace) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QVR100_DAQ"), QStringLiteral("sim"));
        env.insert(QStringLiteral("QVR100_SIM_SCENARIO"), xdg_.configHome() + "/scenario.json");
        env.insert(QStringLiteral("QVR100_SIM_TRACE"), trace);
        return env;
    }
    // Runs to the end; the exit code, or -1 unless it ended by itself in time.
    int run(const QString& program, const QStringList& args, QByteArray* out,
            QProcessEnvironment env = {}) {
        QProcess p;
        p.setProcessEnvironment(env.isEmpty() ? environment(trace_) : env);
        p.start(program, args);
        const bool ended = p.waitForFinished(kWaitMs) && p.exitStatus() == QProcess::NormalExit;
        *out = p.readAllStandardOutput() + p.readAllStandardError();
        return ended ? p.exitCode() : -1;
    }

private slots:
    void initTestCase() {
        QFile scenario(xdg_.configHome() + "/scenario.json");
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        scenario.write(R"({"conversion_us": 0, "noise": 0})");
        scenario.close();
        QDBusServiceWatcher watcher(busService(), QDBusConnection::sessionBus());
        QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
        program_.setProcessEnvironment(environment(QStringLiteral("/dev/null")));
        program_.start(kProgram, {QStringLiteral("--headless")});
        QVERIFY2(registered.wait(kWaitMs), program_.readAllStandardError().constData());
    }
    void cleanupTestCase() {
        ::kill(static_cast<pid_t>(program_.processId()), SIGTERM);
        QVERIFY(program_.waitForFinished(kWaitMs));
    }

    void servesTheItemsOfTheSimulatedHead() {
        qvr::test::BusProbe client(QStringLiteral("headless-client"));
        QCOMPARE(client.topic(QStringLiteral("Items")).arguments().value(0).toStringList(),
                 LinkSource::items());
        QCOMPARE(client.get(QStringLiteral("Simulated")), QVariant(true));
        QCOMPARE(client.get(QStringLiteral("lblA1")), QVariant(QStringLiteral("510 nm")));
        QCOMPARE(client.get(QStringLiteral("lblA2")), QVariant(QStringLiteral("600 nm")));
        QCOMPARE(client.get(QStringLiteral("WL")), QVariant(QStringLiteral("510 nm")));
        QVERIFY(client.get(QStringLiteral("lblEEPROM")).toString().startsWith("QVR1001"));
    }

    void secondInstanceIsRefusedWithoutTouchingTheCard() {
        QByteArray err;
        QCOMPARE(run(kProgram, {QStringLiteral("--headless")}, &err), 1);
        QVERIFY2(err.contains("QVR100PCI is already running"), err.constData());
        QCOMPARE(QFileInfo(trace_).size(), 0);
        QCOMPARE(program_.state(), QProcess::Running); // the first one goes on serving
    }

    void headlessWithoutBusExits() {
        QTemporaryDir runtime; // no lock conflict: only the missing bus may stop it
        QProcessEnvironment env = environment(trace_);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   "unix:path=" + runtime.path() + "/none");
        QByteArray err;
        QCOMPARE(run(kProgram, {QStringLiteral("--headless")}, &err, env), 1);
        QVERIFY2(err.contains("not served"), err.constData());
        QCOMPARE(QFileInfo(trace_).size(), 0);
    }

    void ctlGetsTheTexts() {
        QByteArray out;
        QCOMPARE(run(kCtl, {"get", "lblA1", "A", "WL"}, &out), 0);
        const QRegularExpression texts("^510 nm\n" + kText + "\n510 nm\n$");
        QVERIFY2(texts.match(QString::fromUtf8(out)).hasMatch(), out.constData());
    }

    void ctlWatchPrintsEveryReading_data() {
        const QString stamp = QStringLiteral(
            "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("line");
        QTest::newRow("lines") << QStringList{"watch", "A"} << stamp + " A " + kText;
        QTest::newRow("csv") << QStringList{"watch", "--csv", "A"}
                             << stamp + ",A,(\"" + kText + "\"|" + kText + ")\r";
    }
    void ctlWatchPrintsEveryReading() {
        QFETCH(QStringList, args);
        QFETCH(QString, line);
        QProcess watch;
        watch.start(kCtl, args);
        QByteArray out;
        while (out.count('\n') < 4) {
            QVERIFY2(watch.waitForReadyRead(kWaitMs), watch.readAllStandardError().constData());
            out += watch.readAllStandardOutput();
        }
        ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
        QVERIFY(watch.waitForFinished(kWaitMs));
        QCOMPARE(watch.exitCode(), 0);
        QList<QByteArray> lines = (out + watch.readAllStandardOutput()).split('\n');
        QCOMPARE(lines.takeLast(), QByteArray()); // ends with a line break
        if (args.contains(QStringLiteral("--csv")))
            QCOMPARE(lines.takeFirst(), QByteArray("time,item,text\r"));
        const QRegularExpression row(u'^' + line + u'$');
        for (const QByteArray& text : lines)
            QVERIFY2(row.match(QString::fromUtf8(text)).hasMatch(), text.constData());
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "moc_BusProbe.cpp"
#include "test_headless.moc"
