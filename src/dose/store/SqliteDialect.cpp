#include "dose/store/Dialect.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

namespace qvr::dose {

namespace {

// How long a writer waits for another one before giving up.
constexpr int kBusyTimeoutMs = 15000;

class SqliteDialect : public Dialect {
public:
    QString name() const override { return QStringLiteral("SQLite"); }
    QString driver() const override { return QStringLiteral("QSQLITE"); }

    Outcome<Done> open(QSqlDatabase& db, const QString& location, bool create) const override {
        const QFileInfo file(location);
        if (!create && !file.exists())
            return Failure{QStringLiteral("there is no dose database at %1: qvr100dose --db %1 "
                                          "db init creates one")
                               .arg(location)};
        if (file.exists() && !file.isFile())
            return Failure{QStringLiteral("%1 is not a dose database: it is not a regular file")
                               .arg(location)};
        if (!QDir().mkpath(file.absolutePath()))
            return Failure{QStringLiteral("cannot create the folder %1").arg(file.absolutePath())};
        db.setDatabaseName(file.absoluteFilePath());
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        if (!db.open())
            return Failure{QStringLiteral("cannot open %1: %2")
                               .arg(file.absoluteFilePath(), db.lastError().text())};
        // WAL lets readers work beside the one writer; FULL syncs the log at every commit, so
        // a committed row survives a crash of the process or of the machine.
        const char* settings[][2] = {{"PRAGMA busy_timeout = 15000", nullptr},
                                     {"PRAGMA journal_mode = WAL", "wal"},
                                     {"PRAGMA synchronous = FULL", nullptr},
                                     {"PRAGMA foreign_keys = ON", nullptr}};
        for (const auto& [sql, expect] : settings) {
            QSqlQuery q(db);
            // Switching a new file to WAL needs it alone: another process creating the same
            // file at this moment gets "locked" at once, without the busy handler, so wait here.
            QDeadlineTimer deadline(kBusyTimeoutMs);
            bool done = q.exec(QLatin1String(sql));
            while (!done && isBusy(q.lastError()) && !deadline.hasExpired()) {
                QThread::msleep(10);
                done = q.exec(QLatin1String(sql));
            }
            if (!done)
                return Failure{
                    QStringLiteral("%1 failed on %2: %3")
                        .arg(QLatin1String(sql), file.absoluteFilePath(), q.lastError().text())};
            if (expect && (!q.next() || q.value(0).toString() != QLatin1String(expect)))
                return Failure{QStringLiteral("%1 could not be set on %2")
                                   .arg(QLatin1String(sql), file.absoluteFilePath())};
        }
        return Done{};
    }

    QString columnType(ColumnType type) const override {
        switch (type) {
        case ColumnType::Text:
            return QStringLiteral("TEXT");
        case ColumnType::Integer:
            return QStringLiteral("INTEGER");
        case ColumnType::Real:
            return QStringLiteral("REAL");
        }
        return QString();
    }

    QString exactText(const QString& column) const override {
        return QStringLiteral("CAST(%1 AS BLOB)").arg(column);
    }

    QStringList appendOnly(const QString& table) const override {
        QStringList statements;
        for (const char* action : {"UPDATE", "DELETE"})
            statements << QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_no_%2 BEFORE %3 ON %1 "
                                         "BEGIN SELECT RAISE(ABORT, '%1 is append-only: its "
                                         "rows are never changed or removed'); END")
                              .arg(table, QString::fromLatin1(action).toLower(),
                                   QLatin1String(action));
        return statements;
    }

    QStringList beginWrite() const override { return {QStringLiteral("BEGIN IMMEDIATE")}; }

    bool isBusy(const QSqlError& error) const override {
        const QString code = error.nativeErrorCode();
        return code == QLatin1String("5") || code == QLatin1String("6") ||
               error.text().contains(QLatin1String("locked"));
    }

    // A file on this machine: a failed COMMIT was rolled back.
    bool isConnectionLost(const QSqlError&) const override { return false; }
};

} // namespace

std::unique_ptr<Dialect> sqliteDialect() {
    return std::make_unique<SqliteDialect>();
}

} // namespace qvr::dose
