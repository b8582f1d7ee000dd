#include "dose/store/BatchInsert.h"
#include "dose/store/StoreInternals.h"

#include <map>

namespace qvr::dose {

namespace {

// A row as a database at version stores it: seq, then the columns it has.
RowValues columnsAt(const Table& table, int version, const RowValues& row) {
    RowValues values{row.value(0)};
    for (size_t i = 0; i < table.columns.size(); ++i)
        if (present(table, table.columns[i], version))
            values << row.value(static_cast<int>(i) + 1);
    return values;
}

// Rows move in slices of the ledger, each read completely before the next query: PostgreSQL
// serves one result at a time on a connection, and no copy should hold a whole desk in memory.
constexpr qint64 kSliceRows = kRowsPerFlush;

struct LedgerEntry {
    qint64 seq = 0;
    QVariantList values; // seq, kind, ref, canonical, prev_hash, hash (, login)
};

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
    const Dialect& from = *d_->dialect;
    auto copied = writeTransaction(
        to,
        [&]() -> Outcome<Done> {
            QSqlQuery probe(to.db());
            if (auto r = to.run(probe, QStringLiteral("SELECT COUNT(*) FROM ledger")); !r)
                return r;
            if (probe.next() && probe.value(0).toLongLong() > 0)
                return Failure{QStringLiteral("%1 already holds records: a copy goes only into "
                                              "an empty dose database")
                                   .arg(to.location)};
            probe.finish();

            const int perStatement = to.dialect->rowsPerInsert();
            // Copied as the owner, inserted directly: the source's hashes and logins as they
            // are, checked whole by verify below.
            const bool logins = to.version >= kServerChainSince;
            BatchInsert ledger(to.db(), QStringLiteral("ledger"), ledgerColumns(logins),
                               perStatement);
            std::map<QString, std::pair<const Table*, std::unique_ptr<BatchInsert>>> tables;
            for (const Table* t : allTables())
                if (to.has(*t))
                    tables.emplace(t->kind,
                                   std::pair(t, std::make_unique<BatchInsert>(
                                                    to.db(), t->name, columnNames(*t, to.version),
                                                    perStatement)));
            const QString ledgerSlice =
                QStringLiteral("SELECT seq, kind, %1, %2, prev_hash, hash%3 FROM ledger WHERE "
                               "seq BETWEEN ? AND ? ORDER BY seq")
                    .arg(from.exactText(QStringLiteral("ref")),
                         from.exactText(QStringLiteral("canonical")),
                         logins ? QStringLiteral(", ") + from.exactText(QStringLiteral("login"))
                                : QString());
            for (qint64 lo = 1; lo <= report.rows; lo += kSliceRows) {
                const qint64 hi = std::min(report.rows, lo + kSliceRows - 1);
                const QVariantList range{lo, hi};
                std::vector<LedgerEntry> entries;
                {
                    QSqlQuery q(d_->db());
                    if (auto r = d_->run(q, ledgerSlice, range); !r)
                        return r;
                    while (q.next()) {
                        LedgerEntry e{q.value(0).toLongLong(), {}};
                        for (int i = 0; i < (logins ? 7 : 6); ++i)
                            e.values << Dialect::textOf(q.value(i));
                        entries.push_back(std::move(e));
                    }
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
                for (const LedgerEntry& entry : entries) {
                    auto table = tables.find(entry.values.at(1).toString());
                    auto row = rows.find(entry.seq);
                    // verify() saw every ledger row claimed by a row of its kind; a writer since
                    // then cannot remove one, but say so rather than copy a gap.
                    if (table == tables.end() || row == rows.end())
                        return Failure{
                            QStringLiteral("ledger row %1 of %2 has no row of its own to copy")
                                .arg(QString::number(entry.seq), d_->location)};
                    ledger.add(entry.values);
                    table->second.second->add(
                        columnsAt(*table->second.first, to.version, row->second));
                }
                // Each ledger row before the rows that refer to it.
                if (auto r = ledger.flush(); !r)
                    return r;
                for (auto& [kind, insert] : tables)
                    if (auto r = insert.second->flush(); !r)
                        return r;
            }
            // Checked on the target before it commits: nothing half-copied or altered on the
            // way is ever left there.
            const ChainReport copy = target.verify(report.headHash);
            if (!copy.whole || copy.rows != report.rows)
                return Failure{QStringLiteral("the copy in %1 does not verify: %2")
                                   .arg(to.location, copy.problem)};
            return Done{};
        },
        &report.headHash);
    if (!copied)
        return Failure{copied.error()};
    return report;
}

} // namespace qvr::dose
