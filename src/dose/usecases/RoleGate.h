#pragma once
// The check every command and window action makes before it does anything: whether the account
// holds the role the act needs (Acts.h), by the roles in force in the store now.

#include "dose/core/Acts.h"
#include "dose/store/Store.h"

namespace qvr::dose {

// Why account may not do act, or nothing; a failure when the roles could not be read.
Outcome<std::optional<QString>> roleRefusal(Store& store, const QString& account,
                                            const QString& act);

// The same, where a failure to read the roles refuses too: for an action that only says why not.
std::optional<QString> actBlocker(Store& store, const QString& account, const QString& act);

// A grant or withdrawal by the administrator by.
Outcome<Receipt> changeRole(Store& store, const QString& by, const QString& account,
                            const QString& role, bool grant, const QString& reason);

// What a change did: "ben now has the reviewer role".
QString roleChangeText(const QString& account, const QString& role, bool grant);

} // namespace qvr::dose
