#include "dose/store/Dialect.h"
#include "dose/store/PostgresUrl.h"

#include <QSqlQuery>

namespace qvr::dose {

namespace {

// The one key every desk's writer locks ("QVR100D" in ASCII): the chain's head is read and
// appended to by one transaction at a time across the whole server.
constexpr qint64 kWriterLockKey = 0x0051565231303044;

// How long a writer waits for another desk's before it gives up (and the store retries).
constexpr int kLockTimeoutS = 15;

// SQLSTATEs that mean "another transaction was in the way, try again".
bool isRetryable(const QString& sqlstate) {
    return sqlstate == QLatin1String("55P03")     // lock_not_available (lock_timeout)
           || sqlstate == QLatin1String("40001")  // serialization_failure
           || sqlstate == QLatin1String("40P01"); // deadlock_detected
}

// libpq's messages run over several lines; ours are one.
QString oneLine(const QString& text) {
    return text.simplified();
}

class PostgresDialect : public Dialect {
public:
    QString name() const override { return QStringLiteral("PostgreSQL"); }
    QString driver() const override { return QStringLiteral("QPSQL"); }

    Outcome<Done> open(QSqlDatabase& db, const QString& location, bool) const override {
        const PostgresUrl url = PostgresUrl::parse(location);
        if (!url.ok())
            return Failure{url.error};
        applyPostgresUrl(url, db);
        if (!db.open())
            return Failure{QStringLiteral("cannot connect to the PostgreSQL database %1: %2")
                               .arg(url.display(), oneLine(db.lastError().text()))};
        // Doubles travel as text: all their digits, so a stored value reads back bit for bit
        // whatever the server's own setting. Times are stored as text already; UTC keeps the
        // server's clock functions from depending on a desk's zone.
        const QString settings[] = {
            QStringLiteral("SET extra_float_digits = 3"),
            QStringLiteral("SET TIME ZONE 'UTC'"),
            QStringLiteral("SET lock_timeout = '%1s'").arg(kLockTimeoutS),
            QStringLiteral("SET client_min_messages = warning"),
        };
        for (const QString& sql : settings) {
            QSqlQuery q(db);
            if (!q.exec(sql))
                return Failure{QStringLiteral("%1 failed on %2: %3")
                                   .arg(sql, url.display(), oneLine(q.lastError().text()))};
        }
        return Done{};
    }

    QString columnType(ColumnType type) const override {
        switch (type) {
        case ColumnType::Text:
            return QStringLiteral("TEXT");
        case ColumnType::Integer:
            return QStringLiteral("BIGINT");
        case ColumnType::Real:
            return QStringLiteral("DOUBLE PRECISION");
        }
        return QString();
    }

    QStringList appendOnly(const QString& table) const override {
        // One function refuses for every table; TRUNCATE, which skips row triggers, too.
        return {QStringLiteral("CREATE OR REPLACE FUNCTION qvr100_append_only() RETURNS trigger "
                               "LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '% is append-only: "
                               "its rows are never changed or removed (% refused)', TG_TABLE_NAME, "
                               "TG_OP USING ERRCODE = 'insufficient_privilege'; END $$"),
                QStringLiteral("CREATE OR REPLACE TRIGGER %1_append_only BEFORE UPDATE OR DELETE "
                               "ON %1 FOR EACH ROW EXECUTE FUNCTION qvr100_append_only()")
                    .arg(table),
                QStringLiteral("CREATE OR REPLACE TRIGGER %1_no_truncate BEFORE TRUNCATE ON %1 "
                               "FOR EACH STATEMENT EXECUTE FUNCTION qvr100_append_only()")
                    .arg(table)};
    }

    // READ COMMITTED on purpose: every statement after the lock sees what the writer before
    // committed, so the head read after it is the real head (a snapshot taken before the wait,
    // as REPEATABLE READ would keep, could fork the chain).
    QStringList beginWrite() const override {
        return {QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED"),
                QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kWriterLockKey)};
    }

    bool isBusy(const QSqlError& error) const override {
        return isRetryable(error.nativeErrorCode());
    }

    int rowsPerInsert() const override { return 500; }

    // No SQLSTATE at all (libpq saw the socket close), connection_exception (08...), or the
    // server shutting down or crashing under the session (57P01..57P03).
    bool isConnectionLost(const QSqlError& error) const override {
        const QString state = error.nativeErrorCode();
        return state.isEmpty() || state.startsWith(QLatin1String("08")) ||
               state.startsWith(QLatin1String("57P0"));
    }
};

} // namespace

std::unique_ptr<Dialect> postgresDialect() {
    return std::make_unique<PostgresDialect>();
}

} // namespace qvr::dose
