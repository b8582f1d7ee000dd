// qvr100pci --headless as a child process on the simulated head, on this test's private bus,
// seen from the bus and through qvr100ctl. The program runs in real time: every wait is for an
// event, with a generous limit.

#include "TempXdg.h"

#include "link/LinkSource.h"
#include "link/text/BusNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>
#include <csignal>
#include <unistd.h>

using namespace qvr;
using namespace qvr::test;

namespace {

constexpr int kStartMs = 30000;
const QString kProgram = QStringLiteral(QVR100_BIN_DIR "/qvr100pci");
const QString kCtl = QStringLiteral(QVR100_BIN_DIR "/qvr100ctl");
const QString kText = QStringLiteral("([ -]?\\d\\.\\d{3}|>3\\.0|Zeroing)"); // a text of A

struct Run {
    explicit Run(const QByteArray& scenario) {
        QFile file(xdg.configHome() + QStringLiteral("/scenario.json"));
        file.open(QIODevice::WriteOnly);
        file.write(scenario);
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QVR100_DAQ"), QStringLiteral("sim"));
        env.insert(QStringLiteral("QVR100_SIM_SCENARIO"), file.fileName());
        env.insert(QStringLiteral("QVR100_SIM_TRACE"), tracePath());
        process.setProcessEnvironment(env);
        process.setProgram(kProgram);
        process.setArguments({QStringLiteral("--headless")});
    }
    ~Run() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    QString tracePath() const { return xdg.configHome() + QStringLiteral("/trace.txt"); }
    QStringList traceLines() const {
        QFile f(tracePath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString request(const QString& item,
                    const QDBusConnection& bus = QDBusConnection::sessionBus()) const {
        // A plain method call: QDBusInterface would introspect and cache for the process.
        QDBusMessage call = QDBusMessage::createMethodCall(busService(), busPath(), busInterface(),
                                                           QStringLiteral("Request"));
        call << item;
        const QDBusReply<QString> reply = QDBusConnection(bus).call(call);
        return reply.isValid() ? reply.value() : QString();
    }
    bool finish(int signalNumber) {
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
        return process.waitForFinished(kStartMs);
    }
    QString settingsValue(const QString& key) const {
        QSettings s(xdg.settingsFile(), QSettings::IniFormat);
        return s.value(QStringLiteral("Properties/") + key).toString();
    }
    void setSetting(const QString& key, const QByteArray& raw) const {
        // Written as a hand or an earlier version left it, not as QSettings would quote it.
        QDir().mkpath(xdg.configHome() + QStringLiteral("/QVR100"));
        QFile f(xdg.settingsFile());
        f.open(QIODevice::WriteOnly);
        f.write("[Properties]\nPCIPort=0\n" + key.toUtf8() + '=' + raw + '\n');
    }
    void setEnv(const QString& name, const QString& value) {
        QProcessEnvironment env = process.processEnvironment();
        env.insert(name, value);
        process.setProcessEnvironment(env);
    }
    // The last port write in the trace, and the gain stored for the simulated head: what the
    // shut-down leaves behind.
    bool shutDownRan() const {
        QString lastWrite;
        for (const QString& line : traceLines())
            if (line.startsWith(QLatin1String("cbDOut ")))
                lastWrite = line;
        return lastWrite == QLatin1String("cbDOut 0 1 0 0") &&
               hasSetting(QStringLiteral("GainSN1234"));
    }
    bool hasSetting(const QString& key) const {
        QSettings s(xdg.settingsFile(), QSettings::IniFormat);
        return s.contains(QStringLiteral("Properties/") + key);
    }
    // Runs another program in this one's environment (or in env) to its end: the exit code,
    // or -1 unless it ended by itself in time.
    int other(const QString& program, const QStringList& args, QByteArray* out,
              const QProcessEnvironment& env = {}) const {
        QProcess p;
        p.setProcessEnvironment(env.isEmpty() ? process.processEnvironment() : env);
        p.start(program, args);
        const bool ended = p.waitForFinished(kStartMs) && p.exitStatus() == QProcess::NormalExit;
        *out = p.readAllStandardOutput() + p.readAllStandardError();
        return ended ? p.exitCode() : -1;
    }

    TempXdg xdg;
    QProcess process;
};

} // namespace

class TestHeadlessRun : public QObject {
    Q_OBJECT
private slots:
    void servesTheBusAndQvr100ctl();
    void readsAndShutsDownOnSignal_data();
    void readsAndShutsDownOnSignal();
    void faultIsServedAndSaidOnce();
    void refusesToStart_data();
    void refusesToStart();
    void gainReadsBackInEveryLocale_data();
    void gainReadsBackInEveryLocale();
    void cautionAndShutDownWhateverStandardError_data();
    void cautionAndShutDownWhateverStandardError();
    void lostBusEndsTheServiceWithItsShutDown();
};

void TestHeadlessRun::servesTheBusAndQvr100ctl() {
    Run run(R"({"conversion_us": 0, "noise": 0})");
    QDBusServiceWatcher watcher(busService(), QDBusConnection::sessionBus());
    QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
    run.process.start();
    QVERIFY2(registered.wait(kStartMs), run.process.readAllStandardError().constData());

    QByteArray out;
    QCOMPARE(run.other(kCtl, {"list"}, &out), 0);
    QCOMPARE(out, LinkSource::items().join(u'\n').toUtf8() + "\nSimulated\n");
    QCOMPARE(run.other(kCtl, {"get", "Simulated", "lblA2", "lblEEPROM", "lblA1", "A", "WL"}, &out),
             0);
    const QRegularExpression texts("^true\n600 nm\nQVR1001.*\n510 nm\n" + kText + "\n510 nm\n$");
    QVERIFY2(texts.match(QString::fromUtf8(out)).hasMatch(), out.constData());

    // A second instance, with or without a bus, stays off the card.
    QProcessEnvironment second = run.process.processEnvironment();
    second.insert(QStringLiteral("QVR100_SIM_TRACE"), run.tracePath() + ".second");
    QCOMPARE(run.other(kProgram, {QStringLiteral("--headless")}, &out, second), 1);
    QVERIFY2(out.contains("QVR100PCI is already running"), out.constData());
    QTemporaryDir runtime; // no lock conflict: only the missing bus may stop it
    second.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    second.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                  "unix:path=" + runtime.path() + "/none");
    QCOMPARE(run.other(kProgram, {QStringLiteral("--headless")}, &out, second), 1);
    QVERIFY2(out.contains("not served"), out.constData());
    QCOMPARE(QFileInfo(run.tracePath() + ".second").size(), 0);
    QCOMPARE(run.process.state(), QProcess::Running); // the first one goes on serving

    // qvr100ctl watch: every reading, until interrupted (its formats: test_ctl).
    const QRegularExpression row(
        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d) A " + kText +
        u'$');
    QProcess watch;
    watch.start(kCtl, {"watch", "A"});
    QByteArray lines;
    while (lines.count('\n') < 4) {
        QVERIFY2(watch.waitForReadyRead(kStartMs), watch.readAllStandardError().constData());
        lines += watch.readAllStandardOutput();
    }
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    QVERIFY(watch.waitForFinished(kStartMs));
    QCOMPARE(watch.exitCode(), 0);
    QList<QByteArray> rows = (lines + watch.readAllStandardOutput()).split('\n');
    QCOMPARE(rows.takeLast(), QByteArray()); // ends with a line break
    for (const QByteArray& line : rows)
        QVERIFY2(row.match(QString::fromUtf8(line)).hasMatch(), line.constData());
    // The readings follow the zeros taken at the start, one at each wavelength.
    QCOMPARE(run.other(kCtl, {"get", "Zeros"}, &out), 0);
    QCOMPARE(out, QByteArray("2\n"));

    // The commands, through qvr100ctl: the reader is reading again when it returns. The
    // secondary is zeroed afresh (the film is out); Zero takes both.
    QCOMPARE(run.other(kCtl, {"wavelength", "secondary"}, &out), 0);
    QCOMPARE(run.other(kCtl, {"get", "WL", "State", "Zeros"}, &out), 0);
    QCOMPARE(out, QByteArray("600 nm\nreading\n3\n"));
    QCOMPARE(run.other(kCtl, {"zero"}, &out), 0);
    QCOMPARE(run.other(kCtl, {"get", "WL", "Zeros"}, &out), 0);
    QCOMPARE(out, QByteArray("600 nm\n5\n"));
    QVERIFY(run.finish(SIGTERM));
}

void TestHeadlessRun::readsAndShutsDownOnSignal_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestHeadlessRun::readsAndShutsDownOnSignal() {
    QFETCH(int, signalNumber);
    Run run(R"({"conversion_us": 0, "noise": 0})");
    run.process.start();
    QVERIFY(run.process.waitForStarted());
    // A reading replaces "Zeroing" with an absorbance of the clear path.
    QTRY_COMPARE_WITH_TIMEOUT(run.request(QStringLiteral("A")), QStringLiteral(" 0.000"), kStartMs);
    QCOMPARE(run.request(QStringLiteral("lblSN")).isEmpty(), false);
    QVERIFY(run.finish(signalNumber));
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process.exitCode(), 0);

    const QString err = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("QVR100PCI: running on the simulated reader head")),
             qPrintable(err));
    // First run: the preselected PCI-DAS08 was accepted and stored.
    QCOMPARE(run.settingsValue(QStringLiteral("PCIPort")), QStringLiteral("0"));
    QCOMPARE(run.settingsValue(QStringLiteral("Display")), QStringLiteral("Primary"));
    QCOMPARE(run.settingsValue(QStringLiteral("GainSN1234")), QStringLiteral("1.9"));
    QVERIFY(!run.hasSetting(QStringLiteral("ScreenLeft")));

    const QStringList trace = run.traceLines();
    QVERIFY(trace.size() > 5000);
    QCOMPARE(trace.first(), QStringLiteral("cbGetConfig 2 0 0 1 41 0"));
    QVERIFY(trace.contains(QStringLiteral("cbDOut 0 1 8 0")));
    QVERIFY(run.shutDownRan());
}

void TestHeadlessRun::faultIsServedAndSaidOnce() {
    // The converter fails for the first 2 s; asked for by option, not by QVR100_DAQ.
    Run run(R"({"conversion_us": 0, "noise": 0, "faults": {"fail": {"cbAIn": 1}},
                "events": [{"at": 2, "faults": {"fail": {"cbAIn": 0}}}]})");
    QProcessEnvironment env = run.process.processEnvironment();
    env.remove(QStringLiteral("QVR100_DAQ"));
    run.process.setProcessEnvironment(env);
    run.process.setArguments({QStringLiteral("--headless"), QStringLiteral("--simulate")});
    run.process.start();
    QVERIFY(run.process.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(run.request(QStringLiteral("State")), QStringLiteral("fault"),
                              kStartMs);
    QVERIFY(run.request(QStringLiteral("Fault")).contains(QStringLiteral("cbAIn fails")));
    QTRY_COMPARE_WITH_TIMEOUT(run.request(QStringLiteral("State")), QStringLiteral("reading"),
                              kStartMs);
    QCOMPARE(run.request(QStringLiteral("Fault")), QString());
    QVERIFY(run.finish(SIGTERM));
    const QString err = QString::fromUtf8(run.process.readAllStandardError());
    QCOMPARE(err.count(QStringLiteral("QVR100PCI: card fault, no readings: simulated fault")), 1);
    QCOMPARE(err.count(QStringLiteral("QVR100PCI: card fault cleared")), 1);
}

void TestHeadlessRun::refusesToStart_data() {
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("message");
    QTest::newRow("no PCI-DAS08")
        << QByteArray(R"({"conversion_us": 0, "boards": [{"number": 0, "name": "PCI-DIO24"}]})")
        << "board 0 \"PCI-DIO24\"";
    QTest::newRow("bad scenario") << QByteArray(R"({"gain": -1})") << "gain";
}

void TestHeadlessRun::refusesToStart() {
    QFETCH(QByteArray, scenario);
    QFETCH(QString, message);
    Run run(scenario);
    run.process.start();
    QVERIFY(run.process.waitForFinished(kStartMs));
    QCOMPARE(run.process.exitCode(), 4); // a refusal the user unit does not restart on
    const QString err = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(err.startsWith(QStringLiteral("QVR100PCI: ")), qPrintable(err));
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY(!run.hasSetting(QStringLiteral("PCIPort")));
    for (const QString& line : run.traceLines())
        QVERIFY2(!line.startsWith(QLatin1String("cbDOut")), qPrintable(line));
}

void TestHeadlessRun::gainReadsBackInEveryLocale_data() {
    QTest::addColumn<QByteArray>("stored"); // as it stands in the file
    QTest::addColumn<QString>("firstLocale");
    QTest::newRow("earlier version under de_DE") << QByteArray("1,05") << "de_DE.UTF-8";
    // Unquoted, QSettings reads a list and writes it back as "1, 05".
    QTest::newRow("written back as a list") << QByteArray("1, 05") << "C.UTF-8";
}

// A unit or a cron job often runs under C.UTF-8 while the desktop runs under the user's
// locale: a gain stored by one run is the gain of the next, whichever locale either has.
void TestHeadlessRun::gainReadsBackInEveryLocale() {
    QFETCH(QByteArray, stored);
    QFETCH(QString, firstLocale);
    Run first(R"({"conversion_us": 0, "noise": 0})");
    first.setSetting(QStringLiteral("GainSN1234"), stored);
    for (const QString& locale :
         {firstLocale, QStringLiteral("C.UTF-8"), QStringLiteral("de_DE.UTF-8")}) {
        Run run(R"({"conversion_us": 0, "noise": 0})");
        run.process.setProcessEnvironment(first.process.processEnvironment());
        run.setEnv(QStringLiteral("LC_ALL"), locale);
        run.process.start();
        QVERIFY(run.process.waitForStarted());
        const QString shown = locale.startsWith(QLatin1String("de")) ? "1,05" : "1.05";
        QTRY_COMPARE_WITH_TIMEOUT(run.request(QStringLiteral("lblRegGain")), shown, kStartMs);
        QCOMPARE(run.request(QStringLiteral("lblSN")), QStringLiteral("1234"));
        QVERIFY(run.finish(SIGTERM));
        QCOMPARE(run.process.exitCode(), 0);
        QCOMPARE(first.settingsValue(QStringLiteral("GainSN1234")), QStringLiteral("1.05"));
        const QString err = QString::fromUtf8(run.process.readAllStandardError());
        QVERIFY2(!err.contains(QStringLiteral("GainSN")), qPrintable(err));
    }
}

void TestHeadlessRun::cautionAndShutDownWhateverStandardError_data() {
    QTest::addColumn<QString>("standardError");
    QTest::newRow("read") << "read";
    QTest::newRow("pipe nobody reads") << "unread";
    QTest::newRow("closed") << "closed";
}

// The zero caution goes to standard error and is acknowledged at once: the readings go on. A
// service started as `qvr100pci --headless 2>&1 | head -1`, or with standard error closed, must
// still read, and still put the port to 0 and store the gain when it ends.
void TestHeadlessRun::cautionAndShutDownWhateverStandardError() {
    QFETCH(QString, standardError);
    Run run(R"({"conversion_us": 0, "noise": 0, "lamp": 0.1})");
    if (standardError == QLatin1String("closed"))
        run.process.setChildProcessModifier([] { ::close(2); });
    else if (standardError == QLatin1String("unread"))
        run.process.setChildProcessModifier([] {
            int fds[2];
            if (::pipe(fds) == 0) {
                ::close(fds[0]);
                ::dup2(fds[1], 2);
                ::close(fds[1]);
            }
        });
    run.process.start();
    QVERIFY(run.process.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(run.request(QStringLiteral("A")), QStringLiteral(" 0.000"), kStartMs);
    QVERIFY(run.finish(SIGTERM));
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process.exitCode(), 0);
    QVERIFY(run.shutDownRan());
    if (standardError == QLatin1String("read"))
        QVERIFY(run.process.readAllStandardError().contains(
            "QVR100PCI: Caution: Something may be blocking the light path or the lamp may need "
            "replacing.\n"));
}

// The test's own bus daemon, stopped under the running service.
void TestHeadlessRun::lostBusEndsTheServiceWithItsShutDown() {
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    QVERIFY(daemon.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(daemon.canReadLine(), kStartMs);
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    const QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("lost"));
    QVERIFY(bus.isConnected());

    Run run(R"({"conversion_us": 0, "noise": 0})");
    run.setEnv(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    run.process.start();
    QVERIFY(run.process.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(run.request(QStringLiteral("A"), bus), QStringLiteral(" 0.000"),
                              kStartMs);
    daemon.terminate();
    QVERIFY(daemon.waitForFinished(kStartMs));
    QVERIFY(run.process.waitForFinished(kStartMs));
    QDBusConnection::disconnectFromBus(QStringLiteral("lost"));
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process.exitCode(), 3);
    const QString err = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("QVR100PCI: the session bus is gone")), qPrintable(err));
    QVERIFY(run.shutDownRan());
}

QTEST_GUILESS_MAIN(TestHeadlessRun)
#include "test_headless_run.moc"
