#include "dose/store/Dialect.h"

#include "dose/store/PostgresUrl.h"

namespace qvr::dose {

Outcome<std::unique_ptr<Dialect>> dialectFor(const QString& location) {
    if (location.isEmpty())
        return Failure{QStringLiteral("no database given")};
    if (PostgresUrl::looksLikeUrl(location))
        return postgresDialect();
    return sqliteDialect();
}

} // namespace qvr::dose
