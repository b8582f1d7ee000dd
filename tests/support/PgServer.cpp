#include "PgServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <pwd.h>
#include <unistd.h>

namespace qvr::test {

namespace {

const QString binDir = QStringLiteral("/usr/lib/postgresql/15/bin");
constexpr int commandTimeoutMs = 120'000;

QString bin(const char* name) {
    return binDir + QLatin1Char('/') + QLatin1String(name);
}

bool isRoot() {
    return ::geteuid() == 0;
}

// initdb and the server refuse to run as root: as root, they run as the postgres user.
QStringList command(const QString& program, const QStringList& args) {
    if (!isRoot())
        return QStringList{program} + args;
    return QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), PgServer::superuser(),
                       QStringLiteral("--"), program} +
           args;
}

QString tail(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    return QString::fromLocal8Bit(all.right(2000)).trimmed();
}

} // namespace

// Under /tmp, whatever TMPDIR says: the postgres user must reach the folder, and a socket's
// path must stay short.
PgServer::PgServer() : dir_(QStringLiteral("/tmp/qvr100-pg-XXXXXX")) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("cannot create a temporary folder: ") + dir_.errorString();
        return;
    }
    if (isRoot()) {
        const passwd* pw = ::getpwnam(qPrintable(superuser()));
        if (!pw || ::chown(QFile::encodeName(dir_.path()).constData(), pw->pw_uid, pw->pw_gid) != 0)
            error_ = QStringLiteral("cannot give the temporary folder to the postgres user");
    }
}

PgServer::~PgServer() {
    if (running_)
        stop(QStringLiteral("fast"));
}

QString PgServer::missing() {
    for (const char* name : {"initdb", "pg_ctl", "postgres", "createdb", "psql"}) {
        if (!QFileInfo(bin(name)).isExecutable())
            return QStringLiteral("no PostgreSQL 15 server here (%1 is missing)").arg(bin(name));
    }
    if (isRoot() && !::getpwnam(qPrintable(superuser())))
        return QStringLiteral("no postgres user to run the server as");
    return {};
}

bool PgServer::run(const QString& program, const QStringList& args, int timeoutMs) {
    const QStringList cmd = command(program, args);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(dir_.path());
    p.start(cmd.first(), cmd.mid(1));
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        error_ = QStringLiteral("%1 did not finish: %2").arg(program, p.errorString());
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error_ = QStringLiteral("%1 failed (%2): %3")
                     .arg(QFileInfo(program).fileName())
                     .arg(p.exitCode())
                     .arg(QString::fromLocal8Bit(p.readAll()).trimmed());
        return false;
    }
    return true;
}

bool PgServer::start() {
    if (running_)
        return true;
    if (!error_.isEmpty() && !initialised_)
        return false;
    if (const QString why = missing(); !why.isEmpty()) {
        error_ = why;
        return false;
    }
    const QString data = dir_.path() + QStringLiteral("/data");
    const QString log = dir_.path() + QStringLiteral("/server.log");
    if (!initialised_) {
        if (!run(bin("initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-U"), superuser(),
                  QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--no-locale"),
                  QStringLiteral("--no-sync")},
                 commandTimeoutMs))
            return false;
        initialised_ = true;
    }
    // No TCP at all: the socket lives in the test's own folder.
    const QString options =
        QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1'").arg(dir_.path());
    if (!run(bin("pg_ctl"),
             {QStringLiteral("start"), QStringLiteral("-D"), data, QStringLiteral("-l"), log,
              QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("120"),
              QStringLiteral("-o"), options},
             commandTimeoutMs)) {
        error_ += QStringLiteral("\nserver log:\n") + tail(log);
        return false;
    }
    running_ = true;
    return true;
}

bool PgServer::stop(const QString& mode) {
    if (!running_)
        return true;
    const bool ok = run(bin("pg_ctl"),
                        {QStringLiteral("stop"), QStringLiteral("-D"),
                         dir_.path() + QStringLiteral("/data"), QStringLiteral("-m"), mode,
                         QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("120")},
                        commandTimeoutMs);
    if (ok)
        running_ = false;
    return ok;
}

bool PgServer::createDatabase(const QString& name) {
    return run(bin("createdb"),
               {QStringLiteral("-h"), dir_.path(), QStringLiteral("-U"), superuser(), name},
               commandTimeoutMs);
}

bool PgServer::exec(const QString& database, const QString& sql) {
    return run(bin("psql"),
               {QStringLiteral("-h"), dir_.path(), QStringLiteral("-U"), superuser(),
                QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-qc"), sql,
                database},
               commandTimeoutMs);
}

bool PgServer::requirePassword(const QString& user) {
    QFile hba(dir_.path() + QStringLiteral("/data/pg_hba.conf"));
    if (!hba.open(QIODevice::ReadWrite)) {
        error_ = hba.errorString();
        return false;
    }
    // The first matching line wins.
    const QByteArray rest = hba.readAll();
    hba.seek(0);
    hba.write("local all " + user.toUtf8() + " scram-sha-256\n" + rest);
    hba.close();
    return run(
        bin("pg_ctl"),
        {QStringLiteral("reload"), QStringLiteral("-D"), dir_.path() + QStringLiteral("/data")},
        commandTimeoutMs);
}

QString PgServer::url(const QString& database) const {
    return QStringLiteral("postgresql://%1@/%2?host=%3").arg(superuser(), database, dir_.path());
}

} // namespace qvr::test
