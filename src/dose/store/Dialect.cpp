#include "dose/store/Dialect.h"

#include "dose/store/DatabaseLocation.h"
#include "dose/store/PostgresUrl.h"

#include <QStringDecoder>
#include <QVariant>

namespace qvr::dose {

QVariant Dialect::textOf(const QVariant& value) {
    if (value.typeId() != QMetaType::QByteArray || value.isNull())
        return value;
    // Every character as stored, a leading U+FEFF too (QString::fromUtf8 drops it).
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return QString(decode(value.toByteArray()));
}

Outcome<std::unique_ptr<Dialect>> dialectFor(const QString& location) {
    if (auto why = locationRefusal(location))
        return Failure{*why};
    if (PostgresUrl::looksLikeUrl(location))
        return postgresDialect();
    return sqliteDialect();
}

} // namespace qvr::dose
