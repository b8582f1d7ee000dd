#include "dose/store/StoreInternals.h"

#include <QSqlRecord>
#include <map>

namespace qvr::dose {

namespace {

// The columns a database at version has, seq first.
QStringList columnList(const Table& table, int version) {
    QStringList names{QStringLiteral("seq")};
    for (const Column& c : table.columns)
        if (present(table, c, version))
            names << QLatin1String(c.name);
    return names;
}

// Rows move in slices of the ledger, each read completely before the next query: PostgreSQL
// serves one result at a time on a connection, and no copy should hold a whole desk in memory.
constexpr int kSliceRows = 2000;

} // namespace

Outcome<CopyReport> Store::copyInto(Store& target) {
    const ChainReport source = verify();
    if (!source.whole)
        return Failure{QStringLiteral("the chain of %1 is not whole, so it is not copied: %2")
                           .arg(d_->location, source.problem)};
    CopyReport report;
    report.rows = source.rows;
    report.headHash = source.headHash;

    const Private& to = *target.d_;
    // A row moves with the columns it has; a target of another version would take them
    // differently (a row of an earlier version is never written in a later one's form).
    if (to.version != d_->version)
        return Failure{QStringLiteral("%1 is at schema version %2 and %3 at %4: bring both to the "
                                      "same version first (db migrate)")
                           .arg(d_->location)
                           .arg(d_->version)
                           .arg(to.location)
                           .arg(to.version)};
    auto copied = writeTransaction(to, [&]() -> Outcome<Done> {
        QSqlQuery probe(to.db());
        if (auto r = to.run(probe, QStringLiteral("SELECT COUNT(*) FROM ledger")); !r)
            return r;
        if (probe.next() && probe.value(0).toLongLong() > 0)
            return Failure{QStringLiteral("%1 already holds records: a copy goes only into an "
                                          "empty dose database")
                               .arg(to.location)};
        probe.finish();

        std::map<QString, std::pair<const Table*, std::unique_ptr<QSqlQuery>>> inserts;
        for (const Table* t : allTables()) {
            if (!to.has(*t))
                continue;
            auto insert = std::make_unique<QSqlQuery>(to.db());
            const QStringList columns = columnList(*t, to.version);
            QStringList marks(columns.size(), QStringLiteral("?"));
            if (!insert->prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                     .arg(t->name, columns.join(QStringLiteral(", ")),
                                          marks.join(QStringLiteral(", ")))))
                return Failure{
                    QStringLiteral("database error: %1").arg(insert->lastError().text())};
            inserts.emplace(t->kind, std::make_pair(t, std::move(insert)));
        }
        QSqlQuery insertLedger(to.db());
        if (!insertLedger.prepare(QStringLiteral("INSERT INTO ledger (seq, kind, ref, canonical, "
                                                 "prev_hash, hash) VALUES (?, ?, ?, ?, ?, ?)")))
            return Failure{
                QStringLiteral("database error: %1").arg(insertLedger.lastError().text())};

        for (qint64 lo = 1; lo <= report.rows; lo += kSliceRows) {
            const qint64 hi = std::min(report.rows, lo + kSliceRows - 1);
            const QVariantList range{lo, hi};
            std::vector<QSqlRecord> ledger;
            {
                QSqlQuery q(d_->db());
                if (auto r = d_->run(q,
                                     QStringLiteral("SELECT seq, kind, ref, canonical, prev_hash, "
                                                    "hash FROM ledger WHERE seq BETWEEN ? AND ? "
                                                    "ORDER BY seq"),
                                     range);
                    !r)
                    return r;
                while (q.next())
                    ledger.push_back(q.record());
            }
            std::map<qint64, RowValues> rows; // ledger seq -> its domain row
            for (const Table* t : allTables()) {
                if (!d_->has(*t))
                    continue;
                auto slice = d_->select(*t, QStringLiteral("seq BETWEEN ? AND ?"), range);
                if (!slice)
                    return Failure{slice.error()};
                for (const RowValues& row : *slice)
                    rows.emplace(row.value(0).toLongLong(), row);
            }
            for (const QSqlRecord& entry : ledger) {
                const qint64 seq = entry.value(0).toLongLong();
                for (int i = 0; i < 6; ++i)
                    insertLedger.bindValue(i, entry.value(i));
                if (!insertLedger.exec())
                    return Failure{QStringLiteral("copying ledger row %1: %2")
                                       .arg(seq)
                                       .arg(insertLedger.lastError().text())};
                auto table = inserts.find(entry.value(1).toString());
                auto row = rows.find(seq);
                // verify() saw every ledger row claimed by a row of its kind; a writer since then
                // cannot remove one, but say so rather than copy a gap.
                if (table == inserts.end() || row == rows.end())
                    return Failure{
                        QStringLiteral("ledger row %1 of %2 has no row of its own to copy")
                            .arg(seq)
                            .arg(d_->location)};
                QSqlQuery& insert = *table->second.second;
                const Table& t = *table->second.first;
                int bound = 0;
                insert.bindValue(bound++, row->second.value(0));
                for (size_t i = 0; i < t.columns.size(); ++i)
                    if (present(t, t.columns[i], to.version))
                        insert.bindValue(bound++, row->second.value(static_cast<int>(i) + 1));
                if (!insert.exec())
                    return Failure{QStringLiteral("copying %1 (ledger row %2): %3")
                                       .arg(refOf(*table->second.first, row->second))
                                       .arg(seq)
                                       .arg(insert.lastError().text())};
            }
        }
        // Checked on the target before it commits: nothing half-copied or altered on the way
        // is ever left there.
        const ChainReport copy = target.verify(report.headHash);
        if (!copy.whole || copy.rows != report.rows)
            return Failure{QStringLiteral("the copy in %1 does not verify: %2")
                               .arg(to.location, copy.problem)};
        return Done{};
    });
    if (!copied)
        return Failure{copied.error()};
    return report;
}

} // namespace qvr::dose
