// qvr100pci --headless as a child process on the simulated head, on this test's private bus.

#include "TempXdg.h"

#include "link/text/BusNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QProcess>
#include <QSettings>
#include <QtTest>
#include <csignal>

using namespace qvr;
using namespace qvr::test;

namespace {

constexpr int kStartMs = 30000;

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
        process.setProgram(QStringLiteral(QVR100_BIN_DIR "/qvr100pci"));
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
    QString request(const QString& item) const {
        // A plain method call: QDBusInterface would introspect and cache for the process.
        QDBusMessage call = QDBusMessage::createMethodCall(busService(), busPath(), busInterface(),
                                                           QStringLiteral("Request"));
        call << item;
        const QDBusReply<QString> reply = QDBusConnection::sessionBus().call(call);
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
    bool hasSetting(const QString& key) const {
        QSettings s(xdg.settingsFile(), QSettings::IniFormat);
        return s.contains(QStringLiteral("Properties/") + key);
    }

    TempXdg xdg;
    QProcess process;
};

} // namespace

class TestHeadlessRun : public QObject {
    Q_OBJECT
private slots:
    void readsAndShutsDownOnSignal_data();
    void readsAndShutsDownOnSignal();
    void zeroCautionGoesToStandardError();
    void refusesToStart_data();
    void refusesToStart();
};

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
    QStringList writes;
    for (const QString& line : trace)
        if (line.startsWith(QLatin1String("cbDOut ")))
            writes << line;
    QCOMPARE(writes.last(), QStringLiteral("cbDOut 0 1 0 0"));
    QVERIFY(writes.contains(QStringLiteral("cbDOut 0 1 8 0")));
}

void TestHeadlessRun::zeroCautionGoesToStandardError() {
    Run run(R"({"conversion_us": 0, "noise": 0, "lamp": 0.1})");
    run.process.start();
    QVERIFY(run.process.waitForStarted());
    const QByteArray caution = "QVR100PCI: Caution: Something may be blocking the light path or "
                               "the lamp may need replacing.\n";
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += run.process.readAllStandardError()).contains(caution),
                             kStartMs);
    // Acknowledged at once: the readings go on.
    QTRY_VERIFY_WITH_TIMEOUT(run.request(QStringLiteral("A")) == QStringLiteral(" 0.000"),
                             kStartMs);
    QVERIFY(run.finish(SIGTERM));
    QCOMPARE(run.process.exitCode(), 0);
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
    QCOMPARE(run.process.exitCode(), 1);
    const QString err = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(err.startsWith(QStringLiteral("QVR100PCI: ")), qPrintable(err));
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY(!run.hasSetting(QStringLiteral("PCIPort")));
    for (const QString& line : run.traceLines())
        QVERIFY2(!line.startsWith(QLatin1String("cbDOut")), qPrintable(line));
}

QTEST_GUILESS_MAIN(TestHeadlessRun)
#include "test_headless_run.moc"
