#include "dose/store/Dialect.h"
#include "dose/store/PostgresUrl.h"
#include "dose/store/Store.h"

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

// The one way a login appends: the function runs as the schema's owner, takes the writer's lock,
// checks each row (its table is one of the chain's, every column one of that table's, every
// column that shares its name with a key of the canonical text says what the text says, and
// the row is attributed to the login calling), then chains and inserts it, keeping who called.
// The owner, who may insert directly anyway (a copy does), is not held to the attribution.
// Flags are stored as 0/1 and written as false/true; a text column may hold an array or
// object the canonical text carries as such.
constexpr const char* kAppendFunction = R"SQL(
CREATE OR REPLACE FUNCTION qvr100_chain_append(p_rows jsonb, OUT last_seq bigint,
                                               OUT last_hash text)
LANGUAGE plpgsql SECURITY DEFINER AS $fn$
DECLARE
    r jsonb;
    t chained_tables%ROWTYPE;
    cols jsonb;
    canon jsonb;
    k text;
    v jsonb;
    c jsonb;
    names text[];
    names_of text;
    same boolean;
    next_hash text;
BEGIN
    IF jsonb_typeof(p_rows) IS DISTINCT FROM 'array' THEN
        RAISE EXCEPTION 'rows to append come as a JSON array' USING ERRCODE = 'data_exception';
    END IF;
    PERFORM pg_advisory_xact_lock(%1);
    SELECT l.seq, l.hash INTO last_seq, last_hash FROM ledger l ORDER BY l.seq DESC LIMIT 1;
    IF NOT FOUND THEN
        last_seq := 0;
        last_hash := '%2';
    END IF;
    FOR r IN SELECT value FROM jsonb_array_elements(p_rows) LOOP
        SELECT * INTO t FROM chained_tables WHERE name = r->>'table';
        IF NOT FOUND THEN
            RAISE EXCEPTION '% is not a table of the chain', coalesce(r->>'table', 'no table')
                USING ERRCODE = 'insufficient_privilege';
        END IF;
        cols := r->'columns';
        IF jsonb_typeof(cols) IS DISTINCT FROM 'object'
           OR jsonb_typeof(r->'canonical') IS DISTINCT FROM 'string'
           OR jsonb_typeof(r->'ref') IS DISTINCT FROM 'string' THEN
            RAISE EXCEPTION 'a row of % comes without its columns, canonical text or name', t.name
                USING ERRCODE = 'data_exception';
        END IF;
        BEGIN
            canon := (r->>'canonical')::jsonb;
        EXCEPTION WHEN others THEN
            canon := NULL;
        END;
        IF jsonb_typeof(canon) IS DISTINCT FROM 'object' OR canon->>'kind' IS DISTINCT FROM t.kind
        THEN
            RAISE EXCEPTION 'the canonical text of % is not that of a % row', r->>'ref', t.kind
                USING ERRCODE = 'data_exception';
        END IF;
        IF names_of IS DISTINCT FROM t.name THEN
            SELECT array_agg(a.attname::text) INTO names FROM pg_attribute a
                WHERE a.attrelid = t.name::regclass AND a.attnum > 0 AND NOT a.attisdropped
                  AND a.attname <> 'seq';
            names_of := t.name;
        END IF;
        FOR k, v IN SELECT * FROM jsonb_each(cols) LOOP
            IF NOT k = ANY (names) THEN
                RAISE EXCEPTION '% has no column %', t.name, k USING ERRCODE = 'undefined_column';
            END IF;
            c := canon->k;
            CONTINUE WHEN c IS NULL;
            IF jsonb_typeof(c) = 'boolean' AND jsonb_typeof(v) = 'number' THEN
                same := (v::text::numeric <> 0) = c::text::boolean;
            ELSIF jsonb_typeof(c) IN ('array', 'object') AND jsonb_typeof(v) = 'string' THEN
                BEGIN
                    same := (v #>> '{}')::jsonb = c;
                EXCEPTION WHEN others THEN
                    same := false;
                END;
            ELSE
                same := v = c;
            END IF;
            IF NOT same THEN
                RAISE EXCEPTION 'the canonical text of % does not say what its column % holds: '
                    'not appended', r->>'ref', k USING ERRCODE = 'data_exception';
            END IF;
        END LOOP;
        IF session_user <> current_user AND (cols->>t.person IS DISTINCT FROM session_user::text
           OR canon->>t.person IS DISTINCT FROM session_user::text) THEN
            RAISE EXCEPTION 'the database login % may not append % attributed to %: each person '
                'appends under their own login', session_user, r->>'ref',
                coalesce(cols->>t.person, 'no one') USING ERRCODE = 'insufficient_privilege';
        END IF;
        last_seq := last_seq + 1;
        next_hash := encode(sha256(convert_to(last_hash || (r->>'canonical'), 'UTF8')), 'hex');
        INSERT INTO ledger (seq, kind, ref, canonical, prev_hash, hash, login)
            VALUES (last_seq, t.kind, r->>'ref', r->>'canonical', last_hash, next_hash,
                    session_user);
        EXECUTE format('INSERT INTO %I SELECT * FROM jsonb_populate_record(NULL::%I, $1)',
                       t.name, t.name) USING cols || jsonb_build_object('seq', last_seq);
        last_hash := next_hash;
    END LOOP;
END
$fn$)SQL";

// Fixes the function's search_path to the schema it is made in, so no login's own objects
// stand in for the chain's; logins that held rights on the tables keep SELECT only (on every
// table, the ones made by the steps since they were granted too) and append through the
// function.
constexpr const char* kAppendGrants = R"SQL(
DO $$
DECLARE
    who text;
BEGIN
    EXECUTE format('ALTER FUNCTION qvr100_chain_append(jsonb) SET search_path = pg_catalog, %I, '
                   'pg_temp', current_schema());
    REVOKE ALL ON FUNCTION qvr100_chain_append(jsonb) FROM PUBLIC;
    FOR who IN SELECT DISTINCT CASE WHEN a.grantee = 0 THEN 'PUBLIC'
                                    ELSE quote_ident(pg_get_userbyid(a.grantee)) END
               FROM pg_class c, aclexplode(c.relacl) a
               WHERE c.relnamespace = current_schema()::regnamespace AND c.relkind = 'r'
                 AND a.grantee <> c.relowner LOOP
        EXECUTE format('REVOKE INSERT, UPDATE, DELETE, TRUNCATE ON ALL TABLES IN SCHEMA %I '
                       'FROM %s', current_schema(), who);
        IF who <> 'PUBLIC' THEN
            EXECUTE format('GRANT SELECT ON ALL TABLES IN SCHEMA %I TO %s', current_schema(), who);
            EXECUTE format('GRANT EXECUTE ON FUNCTION qvr100_chain_append(jsonb) TO %s', who);
        END IF;
    END LOOP;
END
$$)SQL";

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

    QStringList keepChain(const std::vector<ChainedTable>& tables) const override {
        QStringList rows;
        for (const ChainedTable& t : tables)
            rows << QStringLiteral("('%1', '%2', '%3')").arg(t.name, t.kind, t.person);
        QStringList out{QStringLiteral("CREATE TABLE chained_tables (name TEXT PRIMARY KEY, kind "
                                       "TEXT NOT NULL UNIQUE, person TEXT NOT NULL)")};
        if (!rows.isEmpty())
            out << QStringLiteral("INSERT INTO chained_tables (name, kind, person) VALUES %1")
                       .arg(rows.join(QStringLiteral(", ")));
        out << QString::fromLatin1(kAppendFunction)
                   .arg(kWriterLockKey)
                   .arg(QLatin1String(kGenesisHash))
                   .trimmed()
            << QString::fromLatin1(kAppendGrants).trimmed();
        return out;
    }

    QString appendCall() const override {
        return QStringLiteral("SELECT last_seq, last_hash FROM qvr100_chain_append(CAST(? AS "
                              "jsonb))");
    }

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
