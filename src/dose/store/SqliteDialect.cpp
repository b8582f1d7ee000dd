#include "dose/store/Dialect.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <sqlite3.h>

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

    // Straight from the connection's own sqlite3 handle: Qt's driver makes a QVariant of every
    // value through its cache, which costs more than the query itself on a long export.
    Outcome<Done> selectRows(QSqlDatabase& db, const QString& sql, const QVariantList& values,
                             const std::function<void(const QVariantList&)>& each) const override {
        const QVariant handle = db.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") != 0 || !handle.isValid())
            return Dialect::selectRows(db, sql, values, each);
        sqlite3* connection = *static_cast<sqlite3* const*>(handle.data());
        sqlite3_stmt* statement = nullptr;
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(connection, text.constData(), static_cast<int>(text.size()),
                               &statement, nullptr) != SQLITE_OK)
            return Failure{QStringLiteral("database error: %1")
                               .arg(QString::fromUtf8(sqlite3_errmsg(connection)))};
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(statement,
                                                                          sqlite3_finalize);
        for (int i = 0; i < values.size(); ++i) {
            const QVariant& v = values[i];
            int bound = SQLITE_OK;
            if (v.isNull())
                bound = sqlite3_bind_null(statement, i + 1);
            else if (v.typeId() == QMetaType::Double)
                bound = sqlite3_bind_double(statement, i + 1, v.toDouble());
            else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
                     v.typeId() == QMetaType::Bool)
                bound = sqlite3_bind_int64(statement, i + 1, v.toLongLong());
            else {
                const QByteArray bytes = v.toString().toUtf8();
                bound = sqlite3_bind_text(statement, i + 1, bytes.constData(),
                                          static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            }
            if (bound != SQLITE_OK)
                return Failure{QStringLiteral("database error: %1")
                                   .arg(QString::fromUtf8(sqlite3_errmsg(connection)))};
        }
        const int width = sqlite3_column_count(statement);
        QVariantList row;
        int stepped;
        row.resize(width);
        while ((stepped = sqlite3_step(statement)) == SQLITE_ROW) {
            QVariant* cells = row.data();
            for (int i = 0; i < width; ++i) {
                switch (sqlite3_column_type(statement, i)) {
                case SQLITE_INTEGER:
                    cells[i] = QVariant(qint64(sqlite3_column_int64(statement, i)));
                    break;
                case SQLITE_FLOAT:
                    cells[i] = QVariant(sqlite3_column_double(statement, i));
                    break;
                case SQLITE_NULL:
                    cells[i] = QVariant();
                    break;
                default: // text and blob alike: the stored UTF-8
                    cells[i] = textOfUtf8(
                        QByteArrayView(static_cast<const char*>(sqlite3_column_blob(statement, i)),
                                       sqlite3_column_bytes(statement, i)));
                }
            }
            each(row);
        }
        if (stepped != SQLITE_DONE)
            return Failure{QStringLiteral("database error: %1")
                               .arg(QString::fromUtf8(sqlite3_errmsg(connection)))};
        return Done{};
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

    // In process: no round trips to save, and Qt's driver binds in time growing with the values.
    int rowsPerInsert() const override { return 1; }
    QString changeMarkQuery() const override { return QStringLiteral("PRAGMA data_version"); }

    // A file on this machine: a failed COMMIT was rolled back.
    bool isConnectionLost(const QSqlError&) const override { return false; }
};

} // namespace

std::unique_ptr<Dialect> sqliteDialect() {
    return std::make_unique<SqliteDialect>();
}

} // namespace qvr::dose
