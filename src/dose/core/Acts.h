#pragma once
// The one table of what each act needs: the command line's commands by name and the window's
// actions by the command they stand for. An act that writes nothing needs no role, only an
// account.

#include "dose/core/Roles.h"

#include <QString>
#include <optional>

namespace qvr::dose {

struct ActRole {
    const char* act; // "job approve"
    std::optional<Role> role;
};

const std::vector<ActRole>& actRoles();

// The role act needs; nothing when it needs none. An act missing from the table needs the
// administrator role, so a new command is never open to everyone by mistake.
std::optional<Role> roleNeeded(const QString& act);

// Why account may not do act with the roles in force, or nothing:
// "job approve needs the reviewer role; alice has operator".
std::optional<QString> actRefusal(const RolesInForce& roles, const QString& account,
                                  const QString& act);

} // namespace qvr::dose
