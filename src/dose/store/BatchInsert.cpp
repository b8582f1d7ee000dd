#include "dose/store/BatchInsert.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

namespace qvr::dose {

namespace {

// Well inside both databases' limits on values per statement (SQLite 32766, PostgreSQL 65535).
constexpr qsizetype kMaxValuesPerStatement = 16000;

} // namespace

BatchInsert::BatchInsert(QSqlDatabase db, QString table, QStringList columns, int rowsPerStatement)
    : db_(std::move(db)), table_(std::move(table)), columns_(std::move(columns)),
      rowsPerStatement_(
          std::clamp<qsizetype>(kMaxValuesPerStatement / columns_.size(), 1, rowsPerStatement)) {}

BatchInsert::~BatchInsert() = default;

void BatchInsert::add(const QVariantList& values) {
    values_.append(values);
    ++pending_;
}

QString BatchInsert::statement(qsizetype rows) const {
    const QString row = QLatin1Char('(') +
                        QStringList(columns_.size(), QStringLiteral("?")).join(QLatin1Char(',')) +
                        QLatin1Char(')');
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(table_, columns_.join(QStringLiteral(", ")),
             QStringList(rows, row).join(QLatin1Char(',')));
}

Outcome<Done> BatchInsert::insert(QSqlQuery& query, qsizetype rows, qsizetype from) {
    const qsizetype width = columns_.size();
    for (qsizetype i = 0; i < rows * width; ++i)
        query.bindValue(static_cast<int>(i), values_.at(from + i));
    if (!query.exec())
        return Failure{QStringLiteral("database error writing to %1: %2")
                           .arg(table_, query.lastError().text())};
    return Done{};
}

Outcome<Done> BatchInsert::flush() {
    const qsizetype width = columns_.size();
    qsizetype row = 0;
    while (row < pending_) {
        const qsizetype rows = std::min(rowsPerStatement_, pending_ - row);
        std::unique_ptr<QSqlQuery> once;
        QSqlQuery* query = nullptr;
        if (rows == rowsPerStatement_ && full_) {
            query = full_.get();
        } else {
            auto prepared = std::make_unique<QSqlQuery>(db_);
            prepared->setForwardOnly(true);
            if (!prepared->prepare(statement(rows)))
                return Failure{QStringLiteral("database error preparing the rows of %1: %2")
                                   .arg(table_, prepared->lastError().text())};
            query = prepared.get();
            if (rows == rowsPerStatement_)
                full_ = std::move(prepared);
            else
                once = std::move(prepared);
        }
        if (auto r = insert(*query, rows, row * width); !r)
            return r;
        row += rows;
    }
    values_.clear();
    pending_ = 0;
    return Done{};
}

} // namespace qvr::dose
