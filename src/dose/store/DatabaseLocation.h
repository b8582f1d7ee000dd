#pragma once
// What --db and QVR100_DOSE_DB may name: a postgresql:// or postgres:// URL, or the path of a
// SQLite file. A mistyped URL must never become a new SQLite file at a relative path, where a
// desk would write records nobody else sees.

#include <QString>
#include <optional>

namespace qvr::dose {

// Why location is neither a PostgreSQL URL nor a plain path, or nothing.
std::optional<QString> locationRefusal(const QString& location);

} // namespace qvr::dose
