#include "dose/store/Dialect.h"

#include "dose/store/DatabaseLocation.h"
#include "dose/store/PostgresUrl.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringDecoder>
#include <QVariant>

namespace qvr::dose {

QVariant Dialect::textOf(const QVariant& value) {
    if (value.typeId() != QMetaType::QByteArray || value.isNull())
        return value;
    return textOfUtf8(value.toByteArray());
}

QString Dialect::textOfUtf8(QByteArrayView bytes) {
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes);
    // Every character as stored, a leading U+FEFF too (QString::fromUtf8 drops it).
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return QString(decode(bytes));
}

Outcome<Done> Dialect::selectRows(QSqlDatabase& db, const QString& sql, const QVariantList& values,
                                  const std::function<void(const QVariantList&)>& each) const {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return Failure{QStringLiteral("database error: %1").arg(q.lastError().text())};
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        return Failure{QStringLiteral("database error: %1").arg(q.lastError().text())};
    const int width = q.record().count();
    QVariantList row;
    row.resize(width);
    while (q.next()) {
        QVariant* cells = row.data();
        for (int i = 0; i < width; ++i)
            cells[i] = textOf(q.value(i));
        each(row);
    }
    if (q.lastError().isValid())
        return Failure{QStringLiteral("database error: %1").arg(q.lastError().text())};
    return Done{};
}

Outcome<std::unique_ptr<Dialect>> dialectFor(const QString& location) {
    if (auto why = locationRefusal(location))
        return Failure{*why};
    if (PostgresUrl::looksLikeUrl(location))
        return postgresDialect();
    return sqliteDialect();
}

} // namespace qvr::dose
