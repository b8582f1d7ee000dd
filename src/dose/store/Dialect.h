#pragma once
// Everything that differs between the databases the store runs on. The schema, the queries and
// the hash chain are portable SQL in the store; a dialect says how to connect, what the column
// types are called, how a table refuses UPDATE and DELETE by itself, and how writers are
// serialised so that the chain never forks.

#include "dose/core/Outcome.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>
#include <vector>

namespace qvr::dose {

enum class ColumnType {
    Text,    // any length, UTF-8
    Integer, // 64-bit
    Real,    // IEEE double, stored exactly
};

// A table of the chain as the server's append function knows it.
struct ChainedTable {
    QString name;   // "batches"
    QString kind;   // the ledger's kind: "batch"
    QString person; // the column naming who the row is attributed to
};

class Dialect {
public:
    virtual ~Dialect() = default;

    virtual QString name() const = 0;   // "SQLite", "PostgreSQL": for messages
    virtual QString driver() const = 0; // the Qt SQL driver: "QSQLITE", "QPSQL"

    // Points db (already added with driver()) at location, opens it and applies the
    // connection's settings (journal, durability, lock waits, time zone ...). Without create,
    // a database file that is not there yet is refused, not made.
    virtual Outcome<Done> open(QSqlDatabase& db, const QString& location, bool create) const = 0;

    virtual QString columnType(ColumnType type) const = 0;

    // Runs a SELECT with values bound in order and gives each row's values as they are stored:
    // text as QString (byte for byte), numbers, NULL as a null QVariant. Through Qt's driver by
    // default; a dialect may read its rows more directly.
    virtual Outcome<Done> selectRows(QSqlDatabase& db, const QString& sql,
                                     const QVariantList& values,
                                     const std::function<void(const QVariantList&)>& each) const;

    // The expression that reads a text column byte for byte, and the text back from what it
    // gives (Qt's SQLite driver reads text through UTF-16, which turns U+FFFE and U+FFFF into
    // U+FFFD: a row holding one would no longer match its hash).
    virtual QString exactText(const QString& column) const { return column; }
    static QVariant textOf(const QVariant& value);
    static QString textOfUtf8(QByteArrayView bytes); // keeping a leading U+FEFF

    // Statements that make table refuse every UPDATE and DELETE, whoever sends them.
    virtual QStringList appendOnly(const QString& table) const = 0;

    // Statements that start a transaction holding the one writer's lock until it ends: only
    // one writer at a time may read the chain's head and append to it.
    virtual QStringList beginWrite() const = 0;

    // The error means another writer held the lock too long: worth trying again.
    virtual bool isBusy(const QSqlError& error) const = 0;

    // How many rows a bulk insert sends in one statement: many where each statement is a round
    // trip to a server, one where binding costs grow with the values a statement holds.
    virtual int rowsPerInsert() const = 0;

    // The error means the connection itself was lost: a COMMIT that failed so may have been
    // carried out all the same.
    virtual bool isConnectionLost(const QSqlError& error) const = 0;

    // A query of one value that changes whenever another connection commits a write: SQLite's
    // data_version costs no read of the file; a server's chain head is one indexed row.
    virtual QString changeMarkQuery() const {
        return QStringLiteral("SELECT hash FROM ledger ORDER BY seq DESC LIMIT 1");
    }

    // Where the server keeps the chain itself, the statements that make it so for tables: a
    // function that checks each row and appends it, and logins that may no longer insert.
    // None where one desk's program keeps the chain.
    virtual QStringList keepChain(const std::vector<ChainedTable>& tables) const {
        Q_UNUSED(tables);
        return {};
    }
    // The query that appends rows (one JSON array of {table, ref, canonical, columns}) through
    // that function, giving the last seq and hash; empty where there is no such function.
    virtual QString appendCall() const { return {}; }
};

// The dialect for a --db value: a PostgreSQL URL (postgresql://...) or a SQLite file path.
// Fails with a clear message when the location names a database this build cannot use.
Outcome<std::unique_ptr<Dialect>> dialectFor(const QString& location);

std::unique_ptr<Dialect> sqliteDialect();
std::unique_ptr<Dialect> postgresDialect();

} // namespace qvr::dose
