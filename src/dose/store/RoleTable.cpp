// The table of schema version 11: roles granted and withdrawn.

#include "dose/core/Canonical.h"
#include "dose/store/Tables.h"

#include <QVariant>

namespace qvr::dose {

const Table& roleChangeTable() {
    static const Table t{QStringLiteral("role_changes"),
                         QStringLiteral("role_change"),
                         QStringLiteral("id"),
                         {{"id", ColumnType::Integer},
                          {"account", ColumnType::Text},
                          {"role", ColumnType::Text},
                          {"granted", ColumnType::Integer},
                          {"reason", ColumnType::Text},
                          {"granted_by", ColumnType::Text},
                          {"created_at", ColumnType::Text}},
                         11,
                         "granted_by"};
    return t;
}

QVariantMap rowOf(const RoleChange& c) {
    return {{"id", c.id},
            {"account", c.account},
            {"role", c.role},
            {"granted", c.granted ? 1 : 0},
            {"reason", c.reason},
            {"granted_by", c.by},
            {"created_at", timeText(c.createdAt)}};
}

RoleChange roleChangeOf(const RowValues& row) {
    // seq first, then the columns in their order.
    RoleChange c;
    c.id = row.value(1).toLongLong();
    c.account = row.value(2).toString();
    c.role = row.value(3).toString();
    c.granted = row.value(4).toLongLong() != 0;
    c.reason = row.value(5).toString();
    c.by = row.value(6).toString();
    c.createdAt = parseTime(row.value(7).toString());
    return c;
}

} // namespace qvr::dose
