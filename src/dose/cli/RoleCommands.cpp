// role grant|withdraw|list: who may do what, kept as chained rows.

#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/usecases/RoleGate.h"

namespace qvr::dose {

namespace {

int change(Ctx& ctx, bool grant) {
    const QString account = ctx.positional.value(0), role = ctx.positional.value(1);
    if (!parseRole(role))
        return ctx.usage(QStringLiteral("there is no role \"%1\" (the roles: operator, reviewer, "
                                        "metrologist, administrator)")
                             .arg(role));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = changeRole(*store, ctx.env.operatorName, account, role, grant,
                        ctx.value(QStringLiteral("reason")).trimmed());
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"chain_head", r->hash}});
    ctx.print(roleChangeText(account, role, grant));
    return ctx.done(r->hash);
}

int list(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto roles = store->roles();
    if (!roles)
        return ctx.refuse(roles.error());
    QJsonArray a;
    for (const auto& [account, held] : *roles) {
        QJsonArray each;
        for (const RoleHeld& h : held) {
            each.append(QJsonObject{{"role", roleName(h.role)},
                                    {"granted_by", h.by},
                                    {"granted_at", timeText(h.since)}});
            if (!ctx.json)
                ctx.print(QStringLiteral("%1  %2  (granted by %3 at %4)")
                              .arg(account, roleName(h.role), h.by, timeText(h.since)));
        }
        a.append(QJsonObject{{"account", account}, {"roles", each}});
    }
    return ctx.json ? ctx.printJson(a) : kOk;
}

} // namespace

void addRoleCommands(std::vector<Command>& c) {
    c.push_back({QStringLiteral("role grant"),
                 QStringLiteral("role grant ACCOUNT ROLE [--reason TEXT]"),
                 QStringLiteral("Grants ACCOUNT (a login name) one role: operator, reviewer, "
                                "metrologist or administrator. Only an administrator may."),
                 {QStringLiteral("reason")},
                 {},
                 {},
                 2,
                 [](Ctx& ctx) { return change(ctx, true); }});
    c.push_back({QStringLiteral("role withdraw"),
                 QStringLiteral("role withdraw ACCOUNT ROLE --reason TEXT"),
                 QStringLiteral("Withdraws a role from ACCOUNT, saying why. Only an administrator "
                                "may, and never from the last administrator."),
                 {QStringLiteral("reason")},
                 {},
                 {QStringLiteral("reason")},
                 2,
                 [](Ctx& ctx) { return change(ctx, false); }});
    c.push_back({QStringLiteral("role list"),
                 QStringLiteral("role list"),
                 QStringLiteral("Lists each account's roles in force, and who granted each when."),
                 {},
                 {},
                 {},
                 0,
                 list});
}

} // namespace qvr::dose
