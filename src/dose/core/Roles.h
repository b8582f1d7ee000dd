#pragma once
// Who may do what. A role is granted to an account, or withdrawn from it, by an administrator;
// each change is a stored row, and the roles in force are the fold of those rows in order.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace qvr::dose {

enum class Role { Operator, Reviewer, Metrologist, Administrator };

inline constexpr Role kAllRoles[] = {Role::Operator, Role::Reviewer, Role::Metrologist,
                                     Role::Administrator};

QString roleName(Role role); // "operator", ...
std::optional<Role> parseRole(const QString& name);

// One grant or withdrawal.
struct RoleChange {
    qint64 id = 0;
    QString account;
    QString role; // a roleName(); kept as text so a row of a later program still verifies
    bool granted = true;
    QString reason;
    QString by; // the administrator's account
    QDateTime createdAt;

    QString canonical() const;
};

// A role in force: who granted it, when.
struct RoleHeld {
    Role role;
    QString by;
    QDateTime since;
};

// Account -> its roles in force, in the order of kAllRoles.
using RolesInForce = std::map<QString, std::vector<RoleHeld>>;

RolesInForce foldRoles(const std::vector<RoleChange>& changes); // oldest first
bool holds(const RolesInForce& roles, const QString& account, Role role);
// "operator, reviewer", or "no role".
QString rolesText(const RolesInForce& roles, const QString& account);

// Why change may not follow earlier (oldest first), or nothing. The first change of all must
// be an account granting itself the administrator role; every later one is an administrator's.
// Nobody withdraws the last administrator.
std::optional<QString> roleChangeRefusal(const std::vector<RoleChange>& earlier,
                                         const RoleChange& change);

// The rows that make account the first administrator of a store with no role yet: every role,
// so that one person can work alone until others are granted theirs.
std::vector<RoleChange> foundingRoles(const QString& account, const QString& reason);

} // namespace qvr::dose
