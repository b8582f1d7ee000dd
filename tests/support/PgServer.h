#pragma once
// A private PostgreSQL 15 server for one test: its own cluster in a temporary folder, reachable
// only through a Unix socket in that folder, stopped when the object goes. The system's own
// cluster is never touched.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace qvr::test {

class PgServer {
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // Why no server can be started on this machine (the binaries are missing), or empty.
    static QString missing();

    // Creates the cluster on first use, then starts the server and waits until it accepts
    // connections. False with error() on failure.
    bool start();
    // mode: "fast" (clients disconnected, clean shutdown) or "immediate" (like a power cut for
    // the server: no shutdown checkpoint, recovery from the WAL on the next start).
    bool stop(const QString& mode = QStringLiteral("fast"));
    bool running() const { return running_; }
    bool createDatabase(const QString& name);
    // Runs sql in database as the superuser (psql).
    bool exec(const QString& database, const QString& sql);
    // From now on user logs in with a password (SCRAM), as on a lab's server.
    bool requirePassword(const QString& user);

    QString socketDir() const { return dir_.path(); }
    static QString superuser() { return QStringLiteral("postgres"); }
    // postgresql://postgres@/NAME?host=SOCKETDIR
    QString url(const QString& database) const;
    QString error() const { return error_; }

private:
    bool run(const QString& program, const QStringList& args, int timeoutMs);

    QTemporaryDir dir_;
    bool initialised_ = false;
    bool running_ = false;
    QString error_;
};

} // namespace qvr::test

// Skips the calling test when this machine has no PostgreSQL server binaries.
#define QVR_REQUIRE_PG_BINARIES()                                                                  \
    do {                                                                                           \
        if (const QString why = qvr::test::PgServer::missing(); !why.isEmpty())                    \
            QSKIP(qPrintable(why));                                                                \
    } while (false)
