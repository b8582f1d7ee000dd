// qvr100pci --headless on the simulated head, seen from the bus and through qvr100ctl.
// The program is a child process and keeps real time: every wait is for an event, with a
// generous limit, never a fixed sleep.

#include "BusProbe.h"
#include "link/BusNames.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace qvr;
using qvr::test::BusProbe;

namespace {

constexpr int kStartMs = 30000;  // start-up, zero and first readings on a busy machine
constexpr int kChangeMs = 30000; // one more reading

const QString kProgram = QStringLiteral(QVR100_BIN_DIR "/qvr100pci");
const QString kCtl = QStringLiteral(QVR100_BIN_DIR "/qvr100ctl");

// A clear path, then a film of od 0.5 at the first wavelength from the third second on;
// conversions take no time and there is no noise, so every reading is the same.
const QByteArray kScenario = R"({
  "conversion_us": 0,
  "noise": 0,
  "gain": 1.9,
  "lamp": 2.0,
  "film": { "present": false, "od": [0.5, 0.35] },
  "events": [ { "at": 3, "film": { "present": true } } ]
})";

bool isReading(const QString& a) {
    static const QRegularExpression pattern(
        QStringLiteral("^(>3\\.0|[ -]?\\d\\.\\d{3}|-\\d+\\.\\d{3})$"));
    return pattern.match(a).hasMatch();
}

} // namespace

class TestHeadless : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void servesTheItemsOfTheSimulatedHead();
    void linkedClientGetsEveryReading();
    void secondInstanceIsRefusedWithoutTouchingTheCard();
    void headlessWithoutBusExits();
    void ctlGetAndList();
    void ctlWatchPrintsEveryReading_data();
    void ctlWatchPrintsEveryReading();
    void stopsCleanlyAndGivesUpTheName();

private:
    QProcessEnvironment environment(const QString& trace = QString()) const;
    bool waitForService(bool registered);
    // Runs qvr100ctl to its end.
    int ctl(const QStringList& args, QByteArray* out, QByteArray* err = nullptr);

    QTemporaryDir dir_;
    QString runtime_, config_, scenario_;
    std::unique_ptr<QProcess> program_;
    std::unique_ptr<BusProbe> client_;
    int probes_ = 0;
};

void TestHeadless::initTestCase() {
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "needs a private session bus");
    QVERIFY2(QFile::exists(kProgram), "qvr100pci is not built");
    QVERIFY2(QFile::exists(kCtl), "qvr100ctl is not built");
    runtime_ = dir_.path() + QStringLiteral("/runtime");
    config_ = dir_.path() + QStringLiteral("/config");
    scenario_ = dir_.path() + QStringLiteral("/scenario.json");
    QVERIFY(QDir().mkpath(runtime_));
    QVERIFY(QDir().mkpath(config_));
    QVERIFY(
        QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QFile f(scenario_);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(kScenario);
}

QProcessEnvironment TestHeadless::environment(const QString& trace) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QVR100_DAQ"), QStringLiteral("sim"));
    env.insert(QStringLiteral("QVR100_SIM_SCENARIO"), scenario_);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("QVR100_SIM_TRACE"));
    if (!trace.isEmpty())
        env.insert(QStringLiteral("QVR100_SIM_TRACE"), trace);
    return env;
}

bool TestHeadless::waitForService(bool registered) {
    QDBusServiceWatcher watcher(busService(), QDBusConnection::sessionBus(),
                                registered ? QDBusServiceWatcher::WatchForRegistration
                                           : QDBusServiceWatcher::WatchForUnregistration);
    QSignalSpy spy(&watcher, registered ? &QDBusServiceWatcher::serviceRegistered
                                        : &QDBusServiceWatcher::serviceUnregistered);
    if (QDBusConnection::sessionBus().interface()->isServiceRegistered(busService()) == registered)
        return true;
    return spy.wait(kStartMs);
}

void TestHeadless::init() {
    program_ = std::make_unique<QProcess>();
    program_->setProcessEnvironment(environment());
    program_->start(kProgram, {QStringLiteral("--headless")});
    QVERIFY(program_->waitForStarted(kStartMs));
    QVERIFY2(waitForService(true), program_->readAllStandardError().constData());
    client_ = std::make_unique<BusProbe>(QStringLiteral("headless-client%1").arg(++probes_));
}

void TestHeadless::cleanup() {
    client_.reset();
    if (program_ && program_->state() != QProcess::NotRunning) {
        ::kill(static_cast<pid_t>(program_->processId()), SIGTERM);
        QVERIFY(program_->waitForFinished(kStartMs));
    }
    program_.reset();
}

int TestHeadless::ctl(const QStringList& args, QByteArray* out, QByteArray* err) {
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(kCtl, args);
    if (!p.waitForFinished(kStartMs))
        return -1;
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TestHeadless::servesTheItemsOfTheSimulatedHead() {
    const QStringList items =
        client_->topic(QStringLiteral("Items")).arguments().value(0).toStringList();
    for (const char* name : {"A", "WL", "na", "nb", "nc", "lblA1", "lblA2", "lblADC", "lblEEPROM",
                             "lblModel", "lblSN", "lblZero", "lblVolt", "lblPresent", "lblButton",
                             "lblGain", "lblRegGain", "lblWL1", "lblWL2"})
        QVERIFY2(items.contains(QLatin1String(name)), name);
    QCOMPARE(client_->get(QStringLiteral("Simulated")), QVariant(true));
    // The built-in head: 510 / 600 nm, Primary by default.
    QCOMPARE(client_->get(QStringLiteral("lblA1")).toString(), QStringLiteral("510 nm"));
    QCOMPARE(client_->get(QStringLiteral("lblA2")).toString(), QStringLiteral("600 nm"));
    QCOMPARE(client_->get(QStringLiteral("WL")).toString(), QStringLiteral("510 nm"));
    QCOMPARE(client_->get(QStringLiteral("lblEEPROM")).toString().left(7),
             QStringLiteral("QVR1001"));
    const QDBusMessage unknown = client_->topic(QStringLiteral("Request"), {QStringLiteral("B2")});
    QCOMPARE(unknown.type(), QDBusMessage::ErrorMessage);
    QVERIFY(unknown.errorMessage().contains(QStringLiteral("B2")));
    const QDBusMessage set = client_->properties(
        QStringLiteral("Set"), {busInterface(), QStringLiteral("A"),
                                QVariant::fromValue(QDBusVariant(QStringLiteral("0")))});
    QCOMPARE(set.errorName(), QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"));
}

void TestHeadless::linkedClientGetsEveryReading() {
    QVERIFY(client_->link());
    // Readings with the film in: A settles on its od; every change of A is one reading, and the
    // conversions inside it reach the bus as a handful of lblADC changes at most.
    int readings = 0, adcSinceReading = 0, maxAdcPerReading = 0;
    QString last;
    while (readings < 40) {
        QVERIFY2(client_->waitForChange(kChangeMs), "no change within the limit");
        const QVariantMap change = client_->changes.takeFirst();
        if (change.contains(QStringLiteral("lblADC")))
            ++adcSinceReading;
        if (!change.contains(QStringLiteral("A")))
            continue;
        last = change.value(QStringLiteral("A")).toString();
        QVERIFY2(isReading(last) || last == QLatin1String("Zeroing"), qPrintable(last));
        ++readings;
        maxAdcPerReading = std::max(maxAdcPerReading, adcSinceReading);
        adcSinceReading = 0;
        if (last.trimmed() == QLatin1String("0.500") && readings >= 3)
            break;
    }
    QVERIFY2(std::abs(last.toDouble() - 0.5) < 0.0015, qPrintable(last));
    QVERIFY2(maxAdcPerReading <= 3, qPrintable(QString::number(maxAdcPerReading)));
    QCOMPARE(client_->get(QStringLiteral("lblPresent")).toString(), QStringLiteral("Film"));
}

void TestHeadless::secondInstanceIsRefusedWithoutTouchingTheCard() {
    const QString trace = dir_.path() + QStringLiteral("/second.trace");
    QProcess second;
    second.setProcessEnvironment(environment(trace));
    second.start(kProgram, {QStringLiteral("--headless")});
    QVERIFY(second.waitForFinished(kStartMs));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 1);
    QVERIFY2(second.readAllStandardError().contains("QVR100PCI is already running"),
             "no message on standard error");
    QFile t(trace);
    QVERIFY2(!t.exists() || t.size() == 0, "the second instance touched the card");
    // The first one goes on serving.
    QCOMPARE(client_->topic(QStringLiteral("Request"), {QStringLiteral("A")}).type(),
             QDBusMessage::ReplyMessage);
}

void TestHeadless::headlessWithoutBusExits() {
    const QString trace = dir_.path() + QStringLiteral("/nobus.trace");
    QTemporaryDir otherRuntime; // no lock conflict: only the missing bus may stop it
    QProcessEnvironment env = environment(trace);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + otherRuntime.path() + QStringLiteral("/no-bus"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(kProgram, {QStringLiteral("--headless")});
    QVERIFY(p.waitForFinished(kStartMs));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.contains("not served"), err.constData());
    QFile t(trace);
    QVERIFY2(!t.exists() || t.size() == 0, "touched the card without being able to serve");
}

void TestHeadless::ctlGetAndList() {
    QByteArray out, err;
    QCOMPARE(ctl({QStringLiteral("get"), QStringLiteral("lblA1"), QStringLiteral("A"),
                  QStringLiteral("WL")},
                 &out),
             0);
    const QList<QByteArray> lines = out.split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QByteArray("510 nm"));
    QVERIFY2(isReading(QString::fromUtf8(lines.at(1))) || lines.at(1) == "Zeroing", lines.at(1));
    QCOMPARE(lines.at(2), QByteArray("510 nm"));

    QCOMPARE(ctl({QStringLiteral("list")}, &out), 0);
    QVERIFY(out.startsWith("WL\nA\n"));
    QCOMPARE(ctl({QStringLiteral("get"), QStringLiteral("B2")}, &out, &err), 2);
    QCOMPARE(err, QByteArray("qvr100ctl: unknown item B2\n"));
}

void TestHeadless::ctlWatchPrintsEveryReading_data() {
    QTest::addColumn<bool>("csv");
    QTest::newRow("lines") << false;
    QTest::newRow("csv") << true;
}

void TestHeadless::ctlWatchPrintsEveryReading() {
    QFETCH(bool, csv);
    QProcess watch;
    watch.setProcessEnvironment(environment());
    QStringList args{QStringLiteral("watch")};
    if (csv)
        args << QStringLiteral("--csv");
    watch.start(kCtl, args << QStringLiteral("A"));
    QVERIFY(watch.waitForStarted(kStartMs));
    QByteArray out;
    const int wanted = csv ? 4 : 3; // the header and three readings
    while (out.count('\n') < wanted) {
        QVERIFY2(watch.waitForReadyRead(kChangeMs), watch.readAllStandardError().constData());
        out += watch.readAllStandardOutput();
    }
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    QVERIFY(watch.waitForFinished(kStartMs));
    QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
    out += watch.readAllStandardOutput();

    const QString stamp =
        QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)");
    const QRegularExpression row(
        csv ? QStringLiteral("^%1,A,(\"[ -]?\\d\\.\\d{3}\"|-?\\d\\.\\d{3}|>3\\.0|Zeroing)\r$")
                  .arg(stamp)
            : QStringLiteral("^%1 A ([ -]?\\d\\.\\d{3}|>3\\.0|Zeroing)$").arg(stamp));
    QList<QByteArray> lines = out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray()); // ends with a line break
    if (csv)
        QCOMPARE(lines.takeFirst(), QByteArray("time,item,text\r"));
    QVERIFY(lines.size() >= 3);
    for (const QByteArray& line : lines)
        QVERIFY2(row.match(QString::fromUtf8(line)).hasMatch(), line.constData());
}

void TestHeadless::stopsCleanlyAndGivesUpTheName() {
    ::kill(static_cast<pid_t>(program_->processId()), SIGTERM);
    QVERIFY(program_->waitForFinished(kStartMs));
    QCOMPARE(program_->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program_->exitCode(), 0);
    QVERIFY(waitForService(false));
    QByteArray out, err;
    QCOMPARE(ctl({QStringLiteral("get"), QStringLiteral("A")}, &out, &err), 1);
    QCOMPARE(err, QByteArray("qvr100ctl: QVR100PCI is not running\n"));
}

QTEST_GUILESS_MAIN(TestHeadless)
#include "moc_BusProbe.cpp"
#include "test_headless.moc"
