// Link latency: from a change of A to its arrival in every linked client, on a private bus this
// benchmark starts and stops itself.

#include "core/LabelModel.h"
#include "link/LinkSource.h"
#include "link/text/BusNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>
#include <QVariantMap>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A dbus-daemon of our own for the life of the object.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000))
            return;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    QString address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

// What the clients wait for in one change; they run in a thread of their own, as other
// programs would, and report here.
struct Round {
    QMutex lock;
    QString expected;
    int remaining = 0;
    Clock::time_point last;
};

// One linked client: notes when the text of the round arrives.
class Client : public QObject {
    Q_OBJECT
public:
    Client(const QString& address, int n, Round& round)
        : name_(QStringLiteral("bench-client-%1").arg(n)),
          bus_(QDBusConnection::connectToBus(address, name_)), round_(round) {}
    ~Client() override { QDBusConnection::disconnectFromBus(name_); }

    bool link() {
        return bus_.isConnected() &&
               bus_.connect(qvr::busService(), qvr::busPath(),
                            QStringLiteral("org.freedesktop.DBus.Properties"),
                            QStringLiteral("PropertiesChanged"), this,
                            SLOT(onChanged(QString, QVariantMap, QStringList)));
    }
    // Waits for an answer of the bus, so the match rule is in force when this returns.
    bool sync() {
        QDBusPendingCallWatcher w(bus_.asyncCall(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"))));
        QElapsedTimer t;
        t.start();
        while (!w.isFinished() && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return w.isFinished() && !w.isError();
    }
    void arm() { arrived_ = false; }

private slots:
    void onChanged(const QString&, const QVariantMap& values, const QStringList&) {
        const auto now = Clock::now();
        const auto it = values.constFind(QStringLiteral("A"));
        if (it == values.constEnd())
            return;
        QMutexLocker locker(&round_.lock);
        if (arrived_ || it->toString() != round_.expected)
            return;
        arrived_ = true;
        round_.last = std::max(round_.last, now);
        if (--round_.remaining == 0)
            QMetaObject::invokeMethod(
                qApp, [] {}, Qt::QueuedConnection); // wake the program
    }

private:
    QString name_;
    QDBusConnection bus_;
    Round& round_;
    bool arrived_ = false;
};

// The program's side: the labels served under the well-known name.
struct Server {
    explicit Server(const QString& address)
        : bus(QDBusConnection::connectToBus(address, QStringLiteral("bench-server"))),
          source(labels, bus) {}
    ~Server() { QDBusConnection::disconnectFromBus(QStringLiteral("bench-server")); }
    bool start() {
        return bus.isConnected() && bus.registerService(qvr::busService()) && source.publish();
    }
    qvr::LabelModel labels;
    QDBusConnection bus;
    qvr::LinkSource source;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<size_t>(p * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

long residentKb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (::sysconf(_SC_PAGESIZE) / 1024) : 0;
}

struct Clients {
    QThread thread;
    Round round;
    std::vector<std::unique_ptr<Client>> all;
    ~Clients() {
        // Clients go back to this thread to be destroyed.
        for (auto& c : all)
            QMetaObject::invokeMethod(
                c.get(), [c = c.get()] { c->moveToThread(qApp->thread()); },
                Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
};

// Sets A and runs the program's event loop until every client has it; the latency in ms, or
// -1 when a client still lacks it after five seconds.
double oneChange(Server& server, Clients& clients, int n) {
    const QString text = QString::number(n % 3000 * 0.001, 'f', 3).rightJustified(6);
    {
        QMutexLocker locker(&clients.round.lock);
        for (auto& c : clients.all)
            c->arm();
        clients.round.expected = text;
        clients.round.remaining = int(clients.all.size());
        clients.round.last = Clock::time_point();
    }
    const auto start = Clock::now();
    server.labels.set(qvr::Label::A, text);
    for (;;) {
        {
            QMutexLocker locker(&clients.round.lock);
            if (clients.round.remaining == 0)
                return std::chrono::duration<double, std::milli>(
                           std::max(clients.round.last, start) - start)
                    .count();
        }
        if (Clock::now() - start > std::chrono::seconds(5))
            return -1;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

bool setUp(PrivateBus& bus, Server& server, Clients& clients, int count, benchmark::State& state) {
    if (bus.address().isEmpty()) {
        state.SkipWithError("no dbus-daemon to start a private bus");
        return false;
    }
    if (!server.start()) {
        state.SkipWithError("could not serve on the private bus");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        clients.all.push_back(std::make_unique<Client>(bus.address(), i, clients.round));
        if (!clients.all.back()->link() || !clients.all.back()->sync()) {
            state.SkipWithError("a client could not link");
            return false;
        }
        clients.all.back()->moveToThread(&clients.thread);
    }
    clients.thread.start();
    return true;
}

void BM_LinkLatency(benchmark::State& state) {
    PrivateBus bus;
    Server server(bus.address());
    Clients clients;
    if (!setUp(bus, server, clients, static_cast<int>(state.range(0)), state))
        return;
    // Filled in place: a growing vector would show up as growing memory.
    std::vector<double> latencies(size_t(state.max_iterations), 0.0);
    size_t done = 0;
    int n = 0;
    for (auto _ : state) {
        const double ms = oneChange(server, clients, ++n);
        if (ms < 0) {
            state.SkipWithError("a change did not reach every client");
            return;
        }
        latencies[done++] = ms;
        state.SetIterationTime(ms / 1000.0);
    }
    latencies.resize(done);
    state.counters["median_ms"] = percentile(latencies, 0.5);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
}
BENCHMARK(BM_LinkLatency)
    ->Arg(1)
    ->Arg(50)
    ->Iterations(2000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A linked client that stops reading: the bus holds what it does not read, the program keeps
// its memory. One live client paces the changes.
void BM_LinkStalledClient(benchmark::State& state) {
    PrivateBus bus;
    Server server(bus.address());
    Clients clients;
    if (!setUp(bus, server, clients, 1, state))
        return;
    QProcess stalled;
    const auto stop = qScopeGuard([&stalled] {
        if (stalled.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(stalled.processId()), SIGCONT);
        stalled.kill();
        stalled.waitForFinished(5000);
    });
    stalled.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--address"), bus.address(),
                   QStringLiteral("type='signal',interface='org.freedesktop.DBus.Properties'")});
    if (!stalled.waitForStarted(5000)) {
        state.SkipWithError("no dbus-monitor for the stalled client");
        return;
    }
    // It is linked once it reports a change; from then on it stops reading for good.
    bool linked = false;
    for (int i = 0; i < 25 && !linked; ++i) {
        oneChange(server, clients, -i);
        linked = stalled.waitForReadyRead(200);
    }
    if (!linked) {
        state.SkipWithError("the stalled client never linked");
        return;
    }
    ::kill(static_cast<pid_t>(stalled.processId()), SIGSTOP);

    // Filled in place: a growing vector would show up as growing memory.
    std::vector<double> latencies(size_t(state.max_iterations), 0.0);
    size_t done = 0;
    long firstKb = 0;
    int n = 0;
    for (auto _ : state) {
        const double ms = oneChange(server, clients, ++n);
        if (ms < 0) {
            state.SkipWithError("a change did not reach the live client");
            break;
        }
        latencies[done++] = ms;
        state.SetIterationTime(ms / 1000.0);
        if (n == 1000)
            firstKb = residentKb();
    }
    latencies.resize(done);
    state.counters["median_ms"] = percentile(latencies, 0.5);
    state.counters["rss_growth_kb"] = double(residentKb() - firstKb);
}
BENCHMARK(BM_LinkStalledClient)->Iterations(20000)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

#include "bench_link.moc"
