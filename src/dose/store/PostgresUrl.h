#pragma once
// A PostgreSQL connection URL (postgresql://user@host:port/dbname?option=value, or
// postgresql:///dbname?host=/run/postgresql for a Unix socket) taken apart into what Qt's QPSQL
// driver wants, which takes no URL. A password never comes from here: libpq finds it in
// PGPASSFILE, ~/.pgpass or PGPASSWORD, so it stays out of shell histories and process lists.

#include <QString>

class QSqlDatabase;

namespace qvr::dose {

struct PostgresUrl {
    QString
        host; // host name, address, or a socket folder (starts with '/'); empty: libpq's default
    int port = -1;
    QString user;     // empty: libpq's default (the login name, or PGUSER)
    QString database; // empty: libpq's default (the user name, or PGDATABASE)
    QString options;  // the other libpq keywords, as QPSQL's connect options ("k='v';k='v'")
    QString error;    // why the text is not a usable URL; empty when it is

    bool ok() const { return error.isEmpty(); }
    // Host, port and database, for messages (never a secret).
    QString display() const;

    static bool looksLikeUrl(const QString& location);
    static PostgresUrl parse(const QString& location);
};

// Sets a QPSQL connection's host, port, user, database and options; never a password.
void applyPostgresUrl(const PostgresUrl& url, QSqlDatabase& db);

} // namespace qvr::dose
