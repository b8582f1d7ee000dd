#pragma once
// Rows of one table inserted many to a statement inside the writer's transaction: a bulk load
// costs one round trip per few hundred rows instead of several per row (on PostgreSQL each
// statement is a round trip, and Qt's driver prepares and releases every one on the server).

#include "dose/core/Outcome.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>
#include <memory>

class QSqlQuery;

namespace qvr::dose {

class BatchInsert {
public:
    // rowsPerStatement: the dialect's choice (Dialect::rowsPerInsert).
    BatchInsert(QSqlDatabase db, QString table, QStringList columns, int rowsPerStatement);
    ~BatchInsert();
    BatchInsert(const BatchInsert&) = delete;
    BatchInsert& operator=(const BatchInsert&) = delete;

    // One row's values in the columns' order; held until flush().
    void add(const QVariantList& values);
    qsizetype pending() const { return pending_; }
    // Inserts every held row. The caller orders the flushes of tables that refer to each other.
    Outcome<Done> flush();

private:
    Outcome<Done> insert(QSqlQuery& query, qsizetype rows, qsizetype from);
    QString statement(qsizetype rows) const;

    QSqlDatabase db_;
    QString table_;
    QStringList columns_;
    qsizetype rowsPerStatement_;
    QVariantList values_;
    qsizetype pending_ = 0;
    std::unique_ptr<QSqlQuery> full_; // prepared once, for every statement of the full size
};

} // namespace qvr::dose
