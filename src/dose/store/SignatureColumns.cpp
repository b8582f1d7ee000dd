// The signature columns every signed table carries, written and read the same way for all.

#include "dose/store/StoreInternals.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

QVariant field(const Table& table, const RowValues& row, const char* name) {
    for (size_t i = 0; i < table.columns.size(); ++i)
        if (qstrcmp(table.columns[i].name, name) == 0)
            return row.value(static_cast<int>(i) + 1);
    return {};
}

std::vector<Column> withSignature(std::vector<Column> columns, int since) {
    columns.push_back({"signer_name", ColumnType::Text, since});
    columns.push_back({"signed_at", ColumnType::Text, since});
    columns.push_back({"utc_offset_s", ColumnType::Integer, since});
    columns.push_back({"meaning", ColumnType::Text, since});
    return columns;
}

void insertSignature(QVariantMap& row, const std::optional<Signature>& s) {
    if (!s)
        return;
    row.insert("signer_name", s->name);
    row.insert("signed_at", timeText(s->signedAt));
    row.insert("utc_offset_s", s->utcOffsetS);
    row.insert("meaning", s->meaning);
}

std::optional<Signature> signatureOf(const Table& table, const RowValues& row,
                                     const QString& account) {
    const QVariant signedAt = field(table, row, "signed_at");
    if (signedAt.isNull())
        return std::nullopt;
    return Signature{account, field(table, row, "signer_name").toString(),
                     parseTime(signedAt.toString()), field(table, row, "utc_offset_s").toInt(),
                     field(table, row, "meaning").toString()};
}

bool keepsSignatures(const Store::Private& d, const Table& table) {
    for (const Column& c : table.columns)
        if (qstrcmp(c.name, "signed_at") == 0)
            return present(table, c, d.version);
    return false;
}

} // namespace qvr::dose
