#include "dose/store/StoreInternals.h"

#include <map>

namespace qvr::dose {

namespace {

struct LedgerRow {
    QString kind, ref, canonical;
    bool claimed = false; // a domain row refers to it
};

} // namespace

// Walks the ledger from the first row, recomputing every hash, then checks that every domain
// row renders to its ledger row's text and that every ledger row has its domain row. The
// problem reported is the one at the lowest ledger seq.
ChainReport Store::verify(const QString& expectHash) {
    ChainReport report;
    std::map<qint64, QString> problems; // ledger seq -> what is wrong there
    auto note = [&](qint64 seq, const QString& text) { problems.emplace(seq, text); };

    QSqlQuery q(d_->db());
    if (auto r = d_->run(q, QStringLiteral("SELECT seq, kind, ref, canonical, prev_hash, hash "
                                           "FROM ledger ORDER BY seq"));
        !r) {
        report.problem = r.error();
        return report;
    }
    std::map<qint64, LedgerRow> ledger;
    QString prev = QString::fromLatin1(kGenesisHash);
    qint64 expected = 1;
    bool expectFound = expectHash.isEmpty();
    while (q.next()) {
        const qint64 seq = q.value(0).toLongLong();
        LedgerRow row{q.value(1).toString(), q.value(2).toString(), q.value(3).toString()};
        const QString storedPrev = q.value(4).toString(), hash = q.value(5).toString();
        if (seq != expected)
            note(expected, QStringLiteral("ledger row %1 is missing (the next row is %2)")
                               .arg(expected)
                               .arg(seq));
        else if (storedPrev != prev)
            note(seq, QStringLiteral("ledger row %1 (%2) does not follow the row before it")
                          .arg(seq)
                          .arg(row.ref));
        else if (sha256Hex(storedPrev, row.canonical) != hash)
            note(seq, QStringLiteral("ledger row %1 (%2) was changed: its hash does not match "
                                     "its content")
                          .arg(seq)
                          .arg(row.ref));
        if (hash == expectHash)
            expectFound = true;
        prev = hash;
        expected = seq + 1;
        ++report.rows;
        ledger.emplace(seq, row);
    }
    report.headHash = report.rows ? prev : QString();

    for (const Table* table : allTables()) {
        if (!d_->has(*table))
            continue;
        auto rows = d_->select(*table);
        if (!rows) {
            report.problem = rows.error();
            return report;
        }
        for (const RowValues& row : *rows) {
            const qint64 seq = row.value(0).toLongLong();
            const QString ref = refOf(*table, row);
            auto it = ledger.find(seq);
            if (it == ledger.end() || it->second.kind != table->kind || it->second.claimed) {
                note(seq, QStringLiteral("%1 refers to ledger row %2, which is not its entry")
                              .arg(ref)
                              .arg(seq));
                continue;
            }
            it->second.claimed = true;
            if (canonicalOf(*table, row) != it->second.canonical)
                note(seq, QStringLiteral("%1 (ledger row %2) was changed: its columns differ "
                                         "from its recorded content")
                              .arg(ref)
                              .arg(seq));
        }
    }
    for (const auto& [seq, row] : ledger)
        if (!row.claimed)
            note(seq, QStringLiteral("%1 (ledger row %2) was removed from its table")
                          .arg(row.ref)
                          .arg(seq));

    if (!problems.empty()) {
        report.brokenSeq = problems.begin()->first;
        report.problem = problems.begin()->second;
        if (problems.size() > 1)
            report.problem += QStringLiteral(" (and %1 more problems)").arg(problems.size() - 1);
        return report;
    }
    if (!expectFound) {
        report.problem =
            QStringLiteral("the chain does not contain %1: rows written up to it "
                           "were removed or changed (the chain ends at row %2, %3)")
                .arg(expectHash)
                .arg(report.rows)
                .arg(report.headHash.isEmpty() ? QStringLiteral("empty") : report.headHash);
        return report;
    }
    report.whole = true;
    return report;
}

} // namespace qvr::dose
