#include "dose/store/Schema.h"

#include "dose/store/Tables.h"

namespace qvr::dose {

namespace {

QString createTable(const Dialect& dialect, const Table& table, const QString& key) {
    QStringList parts;
    parts << QStringLiteral("seq %1 NOT NULL UNIQUE REFERENCES ledger(seq)")
                 .arg(dialect.columnType(ColumnType::Integer));
    for (const Column& c : table.columns)
        parts << QStringLiteral("%1 %2").arg(QLatin1String(c.name), dialect.columnType(c.type));
    parts << QStringLiteral("PRIMARY KEY (%1)").arg(key);
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, parts.join(QStringLiteral(", ")));
}

} // namespace

std::vector<Migration> migrations(const Dialect& dialect) {
    const QString text = dialect.columnType(ColumnType::Text);
    const QString integer = dialect.columnType(ColumnType::Integer);
    Migration v1{1, {}};
    v1.statements << QStringLiteral("CREATE TABLE ledger (seq %1 PRIMARY KEY, kind %2 NOT NULL, "
                                    "ref %2 NOT NULL, canonical %2 NOT NULL, prev_hash %2 NOT "
                                    "NULL, hash %2 NOT NULL UNIQUE)")
                         .arg(integer, text);
    v1.statements << createTable(dialect, batchTable(), QStringLiteral("id"))
                  << createTable(dialect, calibrationTable(), QStringLiteral("id"))
                  << createTable(dialect, fitTable(), QStringLiteral("id"))
                  << createTable(dialect, jobTable(), QStringLiteral("id"))
                  << createTable(dialect, recordTable(), QStringLiteral("id, version"))
                  << QStringLiteral("CREATE INDEX records_by_job ON records (job_id, dosimeter)");
    v1.statements << dialect.appendOnly(QStringLiteral("ledger"));
    for (const Table* t :
         {&batchTable(), &calibrationTable(), &fitTable(), &jobTable(), &recordTable()})
        v1.statements << dialect.appendOnly(t->name);
    // 2: job reviews and reader checks.
    Migration v2{2, {}};
    v2.statements << createTable(dialect, reviewTable(), QStringLiteral("id"))
                  << createTable(dialect, checkTable(), QStringLiteral("id"))
                  << dialect.appendOnly(reviewTable().name)
                  << dialect.appendOnly(checkTable().name);
    return {v1, v2};
}

} // namespace qvr::dose
