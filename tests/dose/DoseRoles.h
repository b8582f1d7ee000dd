#pragma once
// Gives a test's accounts the roles their acts need, through the store's own checked path: a
// store nobody holds roles in yet (one opened without an account) is founded by "lab-admin".

#include "dose/store/Store.h"

#include <QTest>
#include <initializer_list>

namespace qvr::test {

using dose::holds;
using dose::IfMissing;
using dose::Role;
using dose::RoleChange;
using dose::roleName;
using dose::Store;
using dose::systemNow;

inline const QString kLabAdmin = QStringLiteral("lab-admin");

// Every role unless told which. Fails the calling test when a grant is refused.
inline bool grantRoles(Store& store, const QString& account,
                       std::initializer_list<Role> roles = {Role::Operator, Role::Reviewer,
                                                            Role::Metrologist,
                                                            Role::Administrator}) {
    auto changes = store.roleChanges();
    if (!changes) {
        qWarning("roles: %s", qPrintable(changes.error()));
        return false;
    }
    if (changes->empty()) {
        if (auto r = store.addRoleChange(RoleChange{0,
                                                    kLabAdmin,
                                                    roleName(Role::Administrator),
                                                    true,
                                                    QStringLiteral("test store"),
                                                    kLabAdmin,
                                                    {}});
            !r) {
            qWarning("roles: %s", qPrintable(r.error()));
            return false;
        }
    }
    auto inForce = store.roles();
    if (!inForce)
        return false;
    QString admin;
    for (const auto& [who, held] : *inForce)
        if (holds(*inForce, who, Role::Administrator))
            admin = who;
    for (Role role : roles) {
        if (holds(*inForce, account, role))
            continue;
        if (auto r = store.addRoleChange(
                RoleChange{0, account, roleName(role), true, QString(), admin, {}});
            !r) {
            qWarning("roles: %s", qPrintable(r.error()));
            return false;
        }
    }
    return true;
}

inline bool grantRoles(const QString& location, const QString& account,
                       std::initializer_list<Role> roles = {Role::Operator, Role::Reviewer,
                                                            Role::Metrologist,
                                                            Role::Administrator}) {
    auto store = Store::open(location, systemNow(), IfMissing::Refuse);
    if (!store) {
        qWarning("roles: %s", qPrintable(store.error()));
        return false;
    }
    return grantRoles(**store, account, roles);
}

} // namespace qvr::test
