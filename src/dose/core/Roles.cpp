#include "dose/core/Roles.h"

#include "dose/core/Canonical.h"

#include <algorithm>

namespace qvr::dose {

QString roleName(Role role) {
    switch (role) {
    case Role::Operator:
        return QStringLiteral("operator");
    case Role::Reviewer:
        return QStringLiteral("reviewer");
    case Role::Metrologist:
        return QStringLiteral("metrologist");
    case Role::Administrator:
        return QStringLiteral("administrator");
    }
    return {};
}

std::optional<Role> parseRole(const QString& name) {
    for (Role r : kAllRoles)
        if (roleName(r) == name)
            return r;
    return std::nullopt;
}

QString RoleChange::canonical() const {
    return Canonical(QStringLiteral("role_change"))
        .integer("id", id)
        .text("account", account)
        .text("role", role)
        .flag("granted", granted)
        .text("reason", reason)
        .text("by", by)
        .time("created_at", createdAt)
        .finish();
}

RolesInForce foldRoles(const std::vector<RoleChange>& changes) {
    RolesInForce out;
    for (const RoleChange& c : changes) {
        const auto role = parseRole(c.role);
        if (!role)
            continue; // a role this program does not know grants nothing here
        std::vector<RoleHeld>& held = out[c.account];
        std::erase_if(held, [&](const RoleHeld& h) { return h.role == *role; });
        if (c.granted)
            held.push_back(RoleHeld{*role, c.by, c.createdAt});
        std::ranges::sort(held, {}, [](const RoleHeld& h) { return static_cast<int>(h.role); });
        if (held.empty())
            out.erase(c.account);
    }
    return out;
}

bool holds(const RolesInForce& roles, const QString& account, Role role) {
    const auto it = roles.find(account);
    return it != roles.end() &&
           std::ranges::any_of(it->second, [&](const RoleHeld& h) { return h.role == role; });
}

QString rolesText(const RolesInForce& roles, const QString& account) {
    const auto it = roles.find(account);
    if (it == roles.end())
        return QStringLiteral("no role");
    QStringList names;
    for (const RoleHeld& h : it->second)
        names << roleName(h.role);
    return names.join(QStringLiteral(", "));
}

std::optional<QString> roleChangeRefusal(const std::vector<RoleChange>& earlier,
                                         const RoleChange& change) {
    const auto role = parseRole(change.role);
    if (!role)
        return QStringLiteral("there is no role \"%1\" (the roles: operator, reviewer, "
                              "metrologist, administrator)")
            .arg(change.role);
    if (change.account.isEmpty())
        return QStringLiteral("a role is granted to an account: the account is missing");
    if (!change.granted && change.reason.trimmed().isEmpty())
        return QStringLiteral("withdrawing a role needs a reason");
    const RolesInForce roles = foldRoles(earlier);
    if (earlier.empty()) {
        if (!change.granted || *role != Role::Administrator || change.account != change.by)
            return QStringLiteral("nobody holds a role yet: the first change makes its own "
                                  "account the administrator");
        return std::nullopt;
    }
    if (!holds(roles, change.by, Role::Administrator))
        return QStringLiteral("granting and withdrawing roles needs the administrator role; %1 "
                              "has %2")
            .arg(change.by, rolesText(roles, change.by));
    const bool has = holds(roles, change.account, *role);
    if (change.granted && has)
        return QStringLiteral("%1 already has the %2 role").arg(change.account, change.role);
    if (!change.granted && !has)
        return QStringLiteral("%1 does not have the %2 role").arg(change.account, change.role);
    if (!change.granted && *role == Role::Administrator) {
        const auto administrators = std::ranges::count_if(roles, [](const auto& entry) {
            return std::ranges::any_of(
                entry.second, [](const RoleHeld& h) { return h.role == Role::Administrator; });
        });
        if (administrators == 1)
            return QStringLiteral("%1 is the last administrator: grant the role to another "
                                  "account first")
                .arg(change.account);
    }
    return std::nullopt;
}

std::vector<RoleChange> foundingRoles(const QString& account, const QString& reason) {
    std::vector<RoleChange> out;
    // The administrator first: it is what lets the same account grant the others.
    for (Role r : {Role::Administrator, Role::Operator, Role::Reviewer, Role::Metrologist})
        out.push_back(RoleChange{0, account, roleName(r), true, reason, account, {}});
    return out;
}

} // namespace qvr::dose
