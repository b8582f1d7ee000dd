#include "dose/store/Schema.h"
#include "dose/store/StoreInternals.h"

namespace qvr::dose {

namespace {

const QString versionKey = QStringLiteral("schema_version");

Outcome<int> readVersion(const Store::Private& d) {
    QSqlQuery q(d.db());
    if (auto r = d.run(q, QStringLiteral("SELECT value FROM meta WHERE key = ?"), {versionKey}); !r)
        return Failure{r.error()};
    return q.next() ? q.value(0).toInt() : 0;
}

Outcome<Done> writeVersion(const Store::Private& d, int from, int to) {
    QSqlQuery q(d.db());
    const QString sql = from == 0 ? QStringLiteral("INSERT INTO meta (value, key) VALUES (?, ?)")
                                  : QStringLiteral("UPDATE meta SET value = ? WHERE key = ?");
    return d.run(q, sql, {QString::number(to), versionKey});
}

} // namespace

Outcome<SchemaChange> migrateSchema(Store& store, Store::Private& d, int to) {
    // An up-to-date database needs no writer's lock to be opened.
    if (d.db().tables().contains(QStringLiteral("meta"))) {
        if (auto v = readVersion(d); v && *v >= to && *v <= kSchemaVersion) {
            d.version = *v;
            return SchemaChange{*v, *v};
        }
    }
    SchemaChange change;
    auto started = writeTransaction(d, [&]() -> Outcome<Done> {
        // Only a new database gets DDL: a desk's login on a lab server may hold no more than
        // SELECT and INSERT on the tables, and PostgreSQL checks CREATE rights even for
        // CREATE TABLE IF NOT EXISTS.
        QSqlQuery q(d.db());
        if (!d.db().tables().contains(QStringLiteral("meta"))) {
            if (auto r = d.run(q, QStringLiteral("CREATE TABLE IF NOT EXISTS meta (key %1 PRIMARY "
                                                 "KEY, value %1 NOT NULL)")
                                      .arg(d.dialect->columnType(ColumnType::Text)));
                !r)
                return r;
        }
        auto version = readVersion(d);
        if (!version)
            return Failure{version.error()};
        change.from = change.to = *version;
        return Done{};
    });
    if (!started)
        return Failure{started.error()};
    if (change.from > kSchemaVersion)
        return Failure{
            QStringLiteral("the dose database %1 has schema version %2, newer than "
                           "this qvr100dose understands (%3): use a newer qvr100dose")
                .arg(d.location, QString::number(change.from), QString::number(kSchemaVersion))};
    d.version = change.from;
    // Each step in its own transaction: a failed step leaves the database at the version
    // before it, whole. The version is read again under the lock, since another desk may have
    // taken the step meanwhile.
    for (const Migration& m : migrations(*d.dialect)) {
        if (m.version > to)
            break;
        auto stepped = writeTransaction(d, [&]() -> Outcome<Done> {
            auto version = readVersion(d);
            if (!version)
                return Failure{version.error()};
            d.version = *version;
            if (*version >= m.version)
                return Done{};
            QSqlQuery q(d.db());
            for (const QString& sql : m.statements)
                if (auto r = d.run(q, sql); !r)
                    return r;
            d.version = m.version;
            if (m.rejudgeRecords)
                if (auto r = rejudgeRecords(store, d); !r)
                    return r;
            // Whoever takes the step that keeps roles holds them first: nobody could else.
            if (m.version == roleChangeTable().since)
                if (auto r = foundRoles(d, store.clock(),
                                        change.from == 0
                                            ? QStringLiteral("created the database")
                                            : QStringLiteral("migrated the database to roles"));
                    !r)
                    return r;
            return writeVersion(d, *version, m.version);
        });
        if (!stepped) {
            auto version = readVersion(d);
            d.version = version ? *version : 0;
            return Failure{QStringLiteral("schema version %1: %2")
                               .arg(QString::number(m.version), stepped.error())};
        }
        change.to = std::max(change.to, m.version);
    }
    return change;
}

Outcome<int> Store::schemaVersion() {
    return readVersion(*d_);
}

} // namespace qvr::dose
