// The table of schema version 5: later versions of calibrations and batches.

#include "dose/core/Canonical.h"
#include "dose/store/Tables.h"

#include <QVariant>

namespace qvr::dose {

const Table& amendmentTable() {
    static const Table t{QStringLiteral("amendments"),
                         QStringLiteral("amendment"),
                         QStringLiteral("id"),
                         {{"id", ColumnType::Integer},
                          {"subject", ColumnType::Text},
                          {"subject_id", ColumnType::Text},
                          {"version", ColumnType::Integer},
                          {"certificate", ColumnType::Text},
                          {"valid_until", ColumnType::Text},
                          {"background", ColumnType::Text},
                          {"u_background", ColumnType::Text},
                          {"reason", ColumnType::Text},
                          {"operator", ColumnType::Text},
                          {"created_at", ColumnType::Text}},
                         5};
    return t;
}

QVariantMap rowOf(const Amendment& a) {
    return {{"id", a.id},
            {"subject", a.subject},
            {"subject_id", a.subjectId},
            {"version", a.version},
            {"certificate", a.certificate},
            {"valid_until", a.validUntil.isValid() ? QVariant(dateText(a.validUntil)) : QVariant()},
            {"background", backgroundText(a.background)},
            {"u_background", backgroundText(a.uBackground)},
            {"reason", a.reason},
            {"operator", a.operatorName},
            {"created_at", timeText(a.createdAt)}};
}

Amendment amendmentOf(const RowValues& row) {
    // seq first, then the columns in their order.
    Amendment a;
    a.id = row.value(1).toLongLong();
    a.subject = row.value(2).toString();
    a.subjectId = row.value(3).toString();
    a.version = row.value(4).toInt();
    a.certificate = row.value(5).toString();
    const QVariant until = row.value(6);
    a.validUntil = until.isNull() ? QDate() : QDate::fromString(until.toString(), Qt::ISODate);
    a.background = parseBackground(row.value(7).toString());
    a.uBackground = parseBackground(row.value(8).toString());
    a.reason = row.value(9).toString();
    a.operatorName = row.value(10).toString();
    a.createdAt = parseTime(row.value(11).toString());
    return a;
}

} // namespace qvr::dose
