#pragma once
// What Store.cpp and StoreVerify.cpp share: the connection and small query helpers.

#include "dose/store/Dialect.h"
#include "dose/store/Store.h"
#include "dose/store/Tables.h"

#include <QSqlQuery>
#include <QVariantList>
#include <functional>

namespace qvr::dose {

struct Store::Private {
    std::unique_ptr<Dialect> dialect;
    QString connection;
    QString location;
    int version = 0; // the database's schema version, once opened
    QString founder; // who becomes the first administrator, should this opening add roles
    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }
    bool has(const Table& table) const { return table.since <= version; }

    // Runs sql with its values bound in order; the query is ready to be stepped.
    Outcome<Done> run(QSqlQuery& query, const QString& sql, const QVariantList& values = {}) const;
    // Each row of table matching where (with values) as it is read: seq, then every column of
    // the table, NULL where the database's version has none yet. In the table's order, or
    // unsorted, in whatever order the database finds them (cheaper for many rows).
    Outcome<Done> forEach(const Table& table, const QString& where, const QVariantList& values,
                          const std::function<void(const RowValues&)>& each,
                          bool sorted = true) const;
    // All rows of table matching where (with values), in the table's order.
    Outcome<std::vector<RowValues>> select(const Table& table, const QString& where = QString(),
                                           const QVariantList& values = {}) const;
};

// Whether rows of table keep their signature in a database at d's version.
bool keepsSignatures(const Store::Private& d, const Table& table);

// One append of a row of table, prepared inside the serialised write (Store.cpp).
struct NewRow {
    const Table* table = nullptr;
    QVariantMap row;
    QString ref;
    QString canonical;
    qint64 id = 0;
};
Outcome<Receipt> writeRow(const Store::Private& d, const std::function<Outcome<NewRow>()>& prepare);
// Appends row inside a write already begun (writeTransaction).
Outcome<Receipt> appendRow(const Store::Private& d, const NewRow& row);
Outcome<qint64> nextRowId(const Store::Private& d, const QString& table);

// The amendments of subject ("calibration", "batch") in the order they were made: of one
// subjectId, or of all when it is null.
Outcome<std::vector<Amendment>> amendmentsOf(const Store::Private& d, const QString& subject,
                                             const QString& subjectId = QString());

// Inside the migration that adds roles: the founder's rows (reason says why they are theirs).
Outcome<Done> foundRoles(const Store::Private& d, const Now& now, const QString& reason);

QString sha256Hex(const QString& prevHash, const QString& canonical);

// From this schema version on, the server keeps the chain where the dialect has an append
// function, and each ledger row keeps the login that appended it.
inline constexpr int kServerChainSince = 12;

// Column lists and values in the order a table's inserts name them (seq first); the ledger's
// with the login column or without.
QStringList ledgerColumns(bool withLogin);
QStringList columnNames(const Table& table, int version);
QVariantList rowValues(const Table& table, int version, qint64 seq, const QVariantMap& row);
// A bulk write sends this many ledger rows, then their domain rows, at a time.
inline constexpr qsizetype kRowsPerFlush = 2000;

// Runs body inside the one writer's transaction (the dialect's lock held); commits only when
// everything succeeded. proof, when given, is the hash of the last ledger row body appended:
// should the connection go during COMMIT, it tells whether the write was committed.
Outcome<Done> writeTransaction(const Store::Private& d, const std::function<Outcome<Done>()>& body,
                               const QString* proof = nullptr);

// Brings the schema up to version to (never down), one migration per transaction, and refuses
// a database newer than this program. Gives the versions before and after.
Outcome<SchemaChange> migrateSchema(Store& store, Store::Private& d, int to);

// Inside a write: a new version of every record whose latest version the rules of this program
// judge differently (validity by response, reads before a failed reader check). The operator
// is the login running it.
Outcome<Done> rejudgeRecords(Store& store, const Store::Private& d);

// A fit as read: one stored before fits were judged gets its level responses and its
// acceptance by the lab's criteria now.
Outcome<Fit> judgedOnRead(Store& store, Outcome<Fit> fit);

// Inside a write: the versions a failed check adds to job and mapping reads (Store::addCheck);
// head, or "" when no read was flagged.
Outcome<QString> flagReadsBefore(Store& store, const Store::Private& d, const ReaderCheck& failed);

} // namespace qvr::dose
