#include "dose/store/ChainWriter.h"

#include "dose/core/Canonical.h"
#include "dose/store/BatchInsert.h"

namespace qvr::dose {

namespace {

// A column's value as JSON the server's function turns back into the same value: texts exact,
// doubles in their shortest round-trip form, NULL as null.
QString jsonValue(ColumnType type, const QVariant& v) {
    if (v.isNull())
        return QStringLiteral("null");
    switch (type) {
    case ColumnType::Text:
        return quoted(v.toString());
    case ColumnType::Integer:
        return QString::number(v.toLongLong());
    case ColumnType::Real:
        return numberText(v.toDouble());
    }
    return QStringLiteral("null");
}

} // namespace

ChainWriter::ChainWriter(const Store::Private& d)
    : d_(d), server_(!d.dialect->appendCall().isEmpty() && d.version >= kServerChainSince) {}

ChainWriter::~ChainWriter() = default;

void ChainWriter::add(const Table& table, const Receipt& at, const QString& prev,
                      const QString& ref, const QString& canonical, const QVariantMap& row) {
    ++pending_;
    last_ = at;
    if (server_) {
        json_ += json_.isEmpty() ? QLatin1Char('[') : QLatin1Char(',');
        json_ += QLatin1String("{\"table\":") + quoted(table.name) + QLatin1String(",\"ref\":") +
                 quoted(ref) + QLatin1String(",\"canonical\":") + quoted(canonical) +
                 QLatin1String(",\"columns\":{");
        bool first = true;
        for (const Column& c : table.columns) {
            if (!present(table, c, d_.version))
                continue;
            if (!first)
                json_ += QLatin1Char(',');
            first = false;
            json_ += QLatin1Char('"') + QLatin1String(c.name) + QLatin1String("\":") +
                     jsonValue(c.type, row.value(QLatin1String(c.name)));
        }
        json_ += QLatin1String("}}");
        return;
    }
    const int perStatement = d_.dialect->rowsPerInsert();
    if (!ledger_)
        ledger_ = std::make_unique<BatchInsert>(d_.db(), QStringLiteral("ledger"),
                                                ledgerColumns(false), perStatement);
    ledger_->add({at.seq, table.kind, ref, canonical, prev, at.hash});
    auto& rows = tables_[&table];
    if (!rows)
        rows = std::make_unique<BatchInsert>(d_.db(), table.name, columnNames(table, d_.version),
                                             perStatement);
    rows->add(rowValues(table, d_.version, at.seq, row));
}

Outcome<Done> ChainWriter::flush() {
    if (pending_ == 0)
        return Done{};
    auto r = server_ ? flushThroughServer() : flushDirect();
    pending_ = 0;
    return r;
}

Outcome<Done> ChainWriter::flushDirect() {
    if (auto r = ledger_->flush(); !r)
        return r;
    for (auto& [table, rows] : tables_)
        if (auto r = rows->flush(); !r)
            return r;
    return Done{};
}

Outcome<Done> ChainWriter::flushThroughServer() {
    json_ += QLatin1Char(']');
    // A refused call aborts the transaction, where Qt could not even release the statement
    // (a warning joining the refusal): back to before the call first, the write ends anyway.
    QSqlQuery mark(d_.db());
    if (auto r = d_.run(mark, QStringLiteral("SAVEPOINT chain_append")); !r)
        return r;
    QSqlQuery q(d_.db());
    auto r = d_.run(q, d_.dialect->appendCall(), {json_});
    json_.clear();
    if (!r) {
        mark.exec(QStringLiteral("ROLLBACK TO SAVEPOINT chain_append"));
        return r;
    }
    if (!q.next())
        return Failure{QStringLiteral("the server appended nothing")};
    const qint64 seq = q.value(0).toLongLong();
    const QString hash = q.value(1).toString();
    // The server chains the texts it received: another head or hash means the texts or the
    // chain changed on the way, and nothing of this write is kept.
    if (seq != last_.seq || hash != last_.hash)
        return Failure{QStringLiteral("the server chained row %1 as %2, not as %3 as this program "
                                      "computed it: nothing was written")
                           .arg(QString::number(seq), hash, last_.hash)};
    return Done{};
}

} // namespace qvr::dose
