#pragma once
// The schema as a list of versioned migrations, written through a dialect. A database records
// the version it is at in meta(key 'schema_version'); migrations are applied in order.

#include "dose/store/Dialect.h"

#include <vector>

namespace qvr::dose {

struct Migration {
    int version;
    QStringList statements;
    // After the statements, in the same transaction: records already stored that the new
    // version's rules judge differently get a new version each.
    bool rejudgeRecords = false;
};

std::vector<Migration> migrations(const Dialect& dialect);

} // namespace qvr::dose
