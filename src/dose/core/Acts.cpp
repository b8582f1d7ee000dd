#include "dose/core/Acts.h"

namespace qvr::dose {

namespace {

constexpr auto kOperator = Role::Operator;
constexpr auto kReviewer = Role::Reviewer;
constexpr auto kMetrologist = Role::Metrologist;
constexpr auto kAdministrator = Role::Administrator;

} // namespace

const std::vector<ActRole>& actRoles() {
    static const std::vector<ActRole> table{
        {"read", kOperator},
        {"reader check", kOperator},
        {"record correct", kOperator},
        {"job add", kOperator},
        {"job approve", kReviewer},
        {"job return", kReviewer},
        {"batch add", kMetrologist},
        {"batch amend", kMetrologist},
        {"calibration import", kMetrologist},
        {"calibration fit", kMetrologist},
        {"calibration amend", kMetrologist},
        {"calibration check", kMetrologist},
        {"lab set", kMetrologist},
        // How long the window stays open unattended is the administrator's to say.
        {"lab set --idle-lock-minutes", kAdministrator},
        {"mapping add", kMetrologist},
        {"mapping position add", kMetrologist},
        {"mapping run add", kMetrologist},
        {"mapping import", kMetrologist},
        {"mapping approve", kMetrologist},
        {"role grant", kAdministrator},
        {"role withdraw", kAdministrator},
        {"db init", kAdministrator},
        {"db migrate", kAdministrator},
        {"db copy", kAdministrator},
        {"dose", std::nullopt},
        {"verify", std::nullopt},
        {"export", std::nullopt},
        {"batch list", std::nullopt},
        {"batch show", std::nullopt},
        {"calibration list", std::nullopt},
        {"calibration show", std::nullopt},
        {"job list", std::nullopt},
        {"job show", std::nullopt},
        {"job report", std::nullopt},
        {"record list", std::nullopt},
        {"lab show", std::nullopt},
        {"mapping list", std::nullopt},
        {"mapping summary", std::nullopt},
        {"mapping report", std::nullopt},
        {"role list", std::nullopt},
    };
    return table;
}

std::optional<Role> roleNeeded(const QString& act) {
    for (const ActRole& a : actRoles())
        if (act == QLatin1String(a.act))
            return a.role;
    return Role::Administrator;
}

std::optional<QString> actRefusal(const RolesInForce& roles, const QString& account,
                                  const QString& act) {
    if (account.isEmpty())
        return QStringLiteral("%1 needs an account: the user running it has no login name")
            .arg(act);
    const auto role = roleNeeded(act);
    if (!role || holds(roles, account, *role))
        return std::nullopt;
    return QStringLiteral("%1 needs the %2 role; %3 has %4")
        .arg(act, roleName(*role), account, rolesText(roles, account));
}

} // namespace qvr::dose
