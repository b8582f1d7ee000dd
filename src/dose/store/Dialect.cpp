#include "dose/store/Dialect.h"

namespace qvr::dose {

Outcome<std::unique_ptr<Dialect>> dialectFor(const QString& location) {
    if (location.isEmpty())
        return Failure{QStringLiteral("no database given")};
    if (location.startsWith(QLatin1String("postgres://")) ||
        location.startsWith(QLatin1String("postgresql://")))
        return Failure{
            QStringLiteral("this qvr100dose cannot use a PostgreSQL database (%1)").arg(location)};
    return sqliteDialect();
}

} // namespace qvr::dose
