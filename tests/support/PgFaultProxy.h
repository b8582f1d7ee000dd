#pragma once
// A relay between PostgreSQL clients and a test's private server, on a Unix socket of its own,
// that can fail one COMMIT the way a network does: the server's reply lost after it committed,
// or the COMMIT itself lost so that the server rolls back. It can then stay away, as an
// unreachable server. Runs on a thread of its own, so that a blocking client (libpq in this
// process or another) is served while it waits.

#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

namespace qvr::test {

class PgFaultProxy {
public:
    enum class Fault { None, LoseCommitReply, LoseCommit };

    // serverSocketDir: the folder holding the server's .s.PGSQL.5432.
    explicit PgFaultProxy(const QString& serverSocketDir);
    ~PgFaultProxy();
    PgFaultProxy(const PgFaultProxy&) = delete;
    PgFaultProxy& operator=(const PgFaultProxy&) = delete;

    // The next COMMIT meets fault; after it, with gone, no client reaches the server any more.
    void arm(Fault fault, bool gone);
    bool faulted() const { return faulted_; }

    QString socketDir() const { return dir_.path(); }
    // postgresql://postgres@/NAME?host=SOCKETDIR through the relay.
    QString url(const QString& database) const;

private:
    void serve();

    QTemporaryDir dir_;
    QString server_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<Fault> fault_{Fault::None};
    std::atomic<bool> gone_{false};
    std::atomic<bool> faulted_{false};
    std::thread thread_;
};

} // namespace qvr::test
