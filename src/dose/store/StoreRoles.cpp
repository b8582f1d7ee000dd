// Roles granted and withdrawn: appended to the chain like every other row.

#include "dose/core/RecordTexts.h"
#include "dose/store/StoreInternals.h"

namespace qvr::dose {

namespace {

Outcome<std::vector<RoleChange>> changesOf(const Store::Private& d) {
    std::vector<RoleChange> out;
    if (!d.has(roleChangeTable()))
        return out;
    auto r = d.forEach(roleChangeTable(), QString(), {},
                       [&](const RowValues& row) { out.push_back(roleChangeOf(row)); });
    if (!r)
        return Failure{r.error()};
    return out;
}

// Appends change after earlier, inside a write already begun.
Outcome<Receipt> appendChange(const Store::Private& d, std::vector<RoleChange>& earlier,
                              RoleChange change) {
    if (auto texts = acceptTexts(change); !texts)
        return Failure{texts.error()};
    if (auto refusal = roleChangeRefusal(earlier, change))
        return Failure{*refusal};
    auto id = nextRowId(d, roleChangeTable().name);
    if (!id)
        return Failure{id.error()};
    change.id = *id;
    auto r =
        appendRow(d, NewRow{&roleChangeTable(), rowOf(change),
                            QStringLiteral("role_change %1").arg(*id), change.canonical(), *id});
    if (!r)
        return Failure{r.error()};
    earlier.push_back(change);
    return r;
}

} // namespace

Outcome<Done> foundRoles(const Store::Private& d, const Now& now, const QString& reason) {
    if (d.founder.isEmpty())
        return Done{};
    auto earlier = changesOf(d);
    if (!earlier)
        return Failure{earlier.error()};
    if (!earlier->empty())
        return Done{};
    for (RoleChange c : foundingRoles(d.founder, reason)) {
        c.createdAt = now();
        if (auto r = appendChange(d, *earlier, c); !r)
            return Failure{r.error()};
    }
    return Done{};
}

Outcome<Receipt> Store::addRoleChange(RoleChange change) {
    change.createdAt = now_();
    Receipt receipt;
    auto done = writeTransaction(*d_, [&]() -> Outcome<Done> {
        if (!d_->has(roleChangeTable()))
            return Failure{QStringLiteral("the dose database %1 is at schema version %2, which "
                                          "keeps no roles: db migrate")
                               .arg(d_->location, QString::number(d_->version))};
        auto earlier = changesOf(*d_);
        if (!earlier)
            return Failure{earlier.error()};
        auto r = appendChange(*d_, *earlier, change);
        if (!r)
            return Failure{r.error()};
        receipt = *r;
        return Done{};
    });
    if (!done)
        return Failure{done.error()};
    return receipt;
}

Outcome<std::vector<RoleChange>> Store::roleChanges() {
    return changesOf(*d_);
}

Outcome<RolesInForce> Store::roles() {
    auto changes = changesOf(*d_);
    if (!changes)
        return Failure{changes.error()};
    return foldRoles(*changes);
}

} // namespace qvr::dose
