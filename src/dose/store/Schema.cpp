#include "dose/store/Schema.h"

#include "dose/store/Tables.h"

namespace qvr::dose {

namespace {

// The table as its own schema version made it; later columns come with their versions.
QString createTable(const Dialect& dialect, const Table& table, const QString& key) {
    QStringList parts;
    parts << QStringLiteral("seq %1 NOT NULL UNIQUE REFERENCES ledger(seq)")
                 .arg(dialect.columnType(ColumnType::Integer));
    for (const Column& c : table.columns)
        if (present(table, c, table.since))
            parts << QStringLiteral("%1 %2").arg(QLatin1String(c.name), dialect.columnType(c.type));
    parts << QStringLiteral("PRIMARY KEY (%1)").arg(key);
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, parts.join(QStringLiteral(", ")));
}

QStringList addedColumns(const Dialect& dialect, int version) {
    QStringList out;
    for (const Table* t : allTables())
        for (const Column& c : t->columns)
            if (c.since == version && t->since < version)
                out << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                           .arg(t->name, QLatin1String(c.name), dialect.columnType(c.type));
    return out;
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
    // 3: fits keep their acceptance, jobs their decision rule; the lab-wide settings. Records
    // judged by dose are judged again by response.
    Migration v3{3, {}, true};
    v3.statements << addedColumns(dialect, 3);
    v3.statements << createTable(dialect, labSettingTable(), QStringLiteral("id"))
                  << dialect.appendOnly(labSettingTable().name);
    // 4: fits keep their reproducibility model and what the budget by dose needs, records their
    // k and degrees of freedom; both say which budget made them (none: the first).
    Migration v4{4, {}};
    v4.statements << addedColumns(dialect, 4);
    // 5: later versions of calibrations and batches; batches keep their background's
    // uncertainty, records the versions they used.
    Migration v5{5, {}};
    v5.statements << addedColumns(dialect, 5);
    v5.statements << createTable(dialect, amendmentTable(), QStringLiteral("id"))
                  << QStringLiteral("CREATE UNIQUE INDEX amendments_by_subject ON amendments "
                                    "(subject, subject_id, version)")
                  << dialect.appendOnly(amendmentTable().name);
    // 6: dose-mapping studies, their positions, runs, doses and approvals.
    Migration v6{6, {}};
    for (const Table* t : {&mappingStudyTable(), &mappingPositionTable(), &mappingRunTable(),
                           &mappingDoseTable(), &mappingApprovalTable()})
        v6.statements << createTable(dialect, *t, QStringLiteral("id"))
                      << dialect.appendOnly(t->name);
    v6.statements << QStringLiteral("CREATE INDEX mapping_doses_by_run ON mapping_doses (run_id)");
    // 7: a calibration names the one imported with it from the same films at the other
    // wavelength.
    Migration v7{7, {}};
    v7.statements << addedColumns(dialect, 7);
    // 8: a job may read each film at both wavelengths; a record keeps the second read, both
    // doses and their agreement.
    Migration v8{8, {}};
    v8.statements << addedColumns(dialect, 8);
    // 9: mapping doses read through the reader keep their calibration, versions, absorbances
    // and flags; a routine job names its study, monitoring position and process parameter.
    Migration v9{9, {}};
    v9.statements << addedColumns(dialect, 9);
    // 10: reviews carry their signature; wrong passwords given to sign are kept.
    Migration v10{10, {}};
    v10.statements << addedColumns(dialect, 10);
    v10.statements << createTable(dialect, signingFailureTable(), QStringLiteral("id"))
                   << dialect.appendOnly(signingFailureTable().name);
    // 11: accepted fits, reader checks, corrections and study approvals carry their signature.
    Migration v11{11, {}};
    v11.statements << addedColumns(dialect, 11);
    // 11 also: roles granted and withdrawn; the account that takes this step is the first
    // administrator (StoreSchema.cpp).
    v11.statements << createTable(dialect, roleChangeTable(), QStringLiteral("id"))
                   << dialect.appendOnly(roleChangeTable().name);
    // 12: each ledger row keeps the database login that appended it, outside its canonical
    // text; where the server keeps the chain, logins append only through its function. The
    // function knows the tables there are now; a later table is added to chained_tables by the
    // step that makes it.
    Migration v12{12, {}};
    v12.statements << QStringLiteral("ALTER TABLE ledger ADD COLUMN login %1").arg(text);
    std::vector<ChainedTable> chained;
    for (const Table* t : allTables())
        if (t->since <= 12)
            chained.push_back({t->name, t->kind, QLatin1String(t->person)});
    v12.statements << dialect.keepChain(chained);
    return {v1, v2, v3, v4, v5, v6, v7, v8, v9, v10, v11, v12};
}

} // namespace qvr::dose
