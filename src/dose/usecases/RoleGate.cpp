#include "dose/usecases/RoleGate.h"

namespace qvr::dose {

Outcome<std::optional<QString>> roleRefusal(Store& store, const QString& account,
                                            const QString& act) {
    if (!roleNeeded(act))
        return actRefusal({}, account, act);
    auto roles = store.roles();
    if (!roles)
        return Failure{roles.error()};
    return actRefusal(*roles, account, act);
}

std::optional<QString> actBlocker(Store& store, const QString& account, const QString& act) {
    auto refusal = roleRefusal(store, account, act);
    if (!refusal)
        return refusal.error();
    return *refusal;
}

Outcome<Receipt> changeRole(Store& store, const QString& by, const QString& account,
                            const QString& role, bool grant, const QString& reason) {
    auto refusal = roleRefusal(
        store, by, grant ? QStringLiteral("role grant") : QStringLiteral("role withdraw"));
    if (!refusal)
        return Failure{refusal.error()};
    if (*refusal)
        return Failure{**refusal};
    return store.addRoleChange(RoleChange{0, account, role, grant, reason, by, {}});
}

QString roleChangeText(const QString& account, const QString& role, bool grant) {
    return grant ? QStringLiteral("%1 now has the %2 role").arg(account, role)
                 : QStringLiteral("%1 no longer has the %2 role").arg(account, role);
}

} // namespace qvr::dose
