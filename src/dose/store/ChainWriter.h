#pragma once
// Rows appended to the chain inside the writer's transaction. Where the program keeps the chain
// (SQLite) it inserts each ledger row and its domain row itself; where the server keeps it
// (PostgreSQL from schema version 12), the server's function checks, chains and inserts them,
// and the hashes it gives back must be the ones computed here.

#include "dose/store/StoreInternals.h"

#include <map>
#include <memory>

namespace qvr::dose {

class BatchInsert;

class ChainWriter {
public:
    explicit ChainWriter(const Store::Private& d);
    ~ChainWriter();
    ChainWriter(const ChainWriter&) = delete;
    ChainWriter& operator=(const ChainWriter&) = delete;

    // One row chained after the last one added: seq and hash are where this program puts it,
    // prev the hash before it. Held until flush().
    void add(const Table& table, const Receipt& at, const QString& prev, const QString& ref,
             const QString& canonical, const QVariantMap& row);
    qsizetype pending() const { return pending_; }
    Outcome<Done> flush();

private:
    Outcome<Done> flushDirect();
    Outcome<Done> flushThroughServer();

    const Store::Private& d_;
    const bool server_;
    qsizetype pending_ = 0;
    Receipt last_;
    // Inserted by this program: the ledger first, then the rows that refer to it.
    std::unique_ptr<BatchInsert> ledger_;
    std::map<const Table*, std::unique_ptr<BatchInsert>> tables_;
    // Sent to the server: a JSON array built as rows come.
    QString json_;
};

} // namespace qvr::dose
