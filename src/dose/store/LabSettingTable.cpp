// The table of schema version 3: the lab-wide settings.

#include "dose/core/Canonical.h"
#include "dose/store/Tables.h"

#include <QVariant>

namespace qvr::dose {

const Table& labSettingTable() {
    static const Table t{QStringLiteral("lab_settings"),
                         QStringLiteral("lab_setting"),
                         QStringLiteral("id"),
                         {{"id", ColumnType::Integer},
                          {"name", ColumnType::Text},
                          {"value", ColumnType::Text},
                          {"reason", ColumnType::Text},
                          {"operator", ColumnType::Text},
                          {"created_at", ColumnType::Text}},
                         3};
    return t;
}

QVariantMap rowOf(const LabSetting& s) {
    return {{"id", s.id},
            {"name", s.name},
            {"value", s.value},
            {"reason", s.reason},
            {"operator", s.operatorName},
            {"created_at", timeText(s.createdAt)}};
}

LabSetting labSettingOf(const RowValues& row) {
    // seq first, then the columns in their order.
    LabSetting s;
    s.id = row.value(1).toLongLong();
    s.name = row.value(2).toString();
    s.value = row.value(3).toString();
    s.reason = row.value(4).toString();
    s.operatorName = row.value(5).toString();
    s.createdAt = parseTime(row.value(6).toString());
    return s;
}

} // namespace qvr::dose
