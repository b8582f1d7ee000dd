#include "dose/cli/CliCommand.h"

#include "dose/store/Dialect.h"
#include "dose/usecases/RoleGate.h"

namespace qvr::dose {

namespace {

// A database that holds roles is changed only by an administrator. One that holds none yet (or
// none at all) is the operator's to found: this command makes them its first administrator.
std::optional<int> refusedForRole(Ctx& ctx, const QString& location) {
    auto asIs = Store::openAtVersion(location, 1, nullptr, ctx.env.now, IfMissing::Refuse);
    if (!asIs)
        return std::nullopt; // nothing there yet, or the open that follows says why
    auto changes = (*asIs)->roleChanges();
    if (!changes)
        return ctx.refuse(changes.error());
    if (changes->empty())
        return std::nullopt;
    if (auto why = actRefusal(foldRoles(*changes), ctx.env.operatorName, ctx.command.name))
        return ctx.refuse(*why);
    return std::nullopt;
}

int describe(Ctx& ctx, Store& store, const QString& location, const SchemaChange& change) {
    auto head = store.headHash();
    if (!head)
        return ctx.refuse(head.error());
    const bool founded = change.from < kRolesSchemaVersion && change.to >= kRolesSchemaVersion &&
                         !ctx.env.operatorName.isEmpty();
    if (ctx.json) {
        QJsonObject o{{"database", location},
                      {"kind", store.dialect().name()},
                      {"schema_from", change.from},
                      {"schema_version", change.to},
                      {"chain_head", *head}};
        if (founded)
            o.insert("first_administrator", ctx.env.operatorName);
        return ctx.printJson(o);
    }
    if (change.from == change.to)
        ctx.print(QStringLiteral("%1 dose database %2 at schema version %3, nothing to do")
                      .arg(store.dialect().name(), location, QString::number(change.to)));
    else if (change.from == 0)
        ctx.print(QStringLiteral("%1 dose database %2 created at schema version %3")
                      .arg(store.dialect().name(), location, QString::number(change.to)));
    else
        ctx.print(QStringLiteral("%1 dose database %2 migrated from schema version %3 to %4")
                      .arg(store.dialect().name(), location, QString::number(change.from),
                           QString::number(change.to)));
    if (founded)
        ctx.print(QStringLiteral("%1 is its first administrator and holds every role: role grant "
                                 "gives others theirs, role withdraw takes back what %1 should "
                                 "not hold")
                      .arg(ctx.env.operatorName));
    if (!head->isEmpty())
        ctx.print(QStringLiteral("chain head %1").arg(*head));
    return kOk;
}

int init(Ctx& ctx) {
    if (const auto refused = refusedForRole(ctx, ctx.env.database))
        return *refused;
    SchemaChange change;
    auto store = Store::openAtVersion(ctx.env.database, kSchemaVersion, &change, ctx.env.now,
                                      IfMissing::Create, ctx.env.operatorName);
    if (!store)
        return ctx.refuse(store.error());
    return describe(ctx, **store, ctx.env.database, change);
}

int migrate(Ctx& ctx) {
    const auto to = ctx.integer(QStringLiteral("to"), Quantity{1, kSchemaVersion, false, "", true});
    if (ctx.usageError())
        return kUsage;
    if (const auto refused = refusedForRole(ctx, ctx.env.database))
        return *refused;
    SchemaChange change;
    auto store =
        Store::openAtVersion(ctx.env.database, static_cast<int>(to.value_or(kSchemaVersion)),
                             &change, ctx.env.now, IfMissing::Refuse, ctx.env.operatorName);
    if (!store)
        return ctx.refuse(store.error());
    return describe(ctx, **store, ctx.env.database, change);
}

int copy(Ctx& ctx) {
    const QString from = ctx.value(QStringLiteral("from")), to = ctx.value(QStringLiteral("to"));
    if (from == to)
        return ctx.usage(QStringLiteral("--from and --to name the same database"));
    if (const auto refused = refusedForRole(ctx, from))
        return *refused;
    // The target stays empty until the copy: its roles are the source's.
    auto source = Store::open(from, ctx.env.now, IfMissing::Refuse, ctx.env.operatorName);
    if (!source)
        return ctx.refuse(source.error());
    auto target = Store::open(to, ctx.env.now, IfMissing::Create);
    if (!target)
        return ctx.refuse(target.error());
    auto copied = (*source)->copyInto(**target);
    if (!copied)
        return ctx.refuse(copied.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"rows", copied->rows}, {"chain_head", copied->headHash}});
    ctx.print(QStringLiteral("%1 ledger rows copied from %2 to %3; check the copy with "
                             "qvr100dose --db %3 verify --expect %4")
                  .arg(QString::number(copied->rows), from, to, copied->headHash));
    return ctx.done(copied->headHash);
}

} // namespace

void addDbCommands(std::vector<Command>& c) {
    c.push_back({QStringLiteral("db init"),
                 QStringLiteral("db init"),
                 QStringLiteral("Creates the dose database's tables (a SQLite file or, with a "
                                "postgresql:// URL, an existing database on the server) and says "
                                "at which schema version it is."),
                 {},
                 {},
                 {},
                 0,
                 init});
    c.push_back({QStringLiteral("db migrate"),
                 QStringLiteral("db migrate [--to VERSION]"),
                 QStringLiteral("Brings the database's schema up to this program's version (or "
                                "VERSION), one step per transaction."),
                 {QStringLiteral("to")},
                 {},
                 {},
                 0,
                 migrate});
    c.push_back({QStringLiteral("db copy"),
                 QStringLiteral("db copy --from PATH-or-URL --to PATH-or-URL"),
                 QStringLiteral("Copies every record of one dose database, such as a desk's SQLite "
                                "file, into an empty one, such as the lab's PostgreSQL database, "
                                "with its chain: the copy verifies with the same newest hash."),
                 {QStringLiteral("from"), QStringLiteral("to")},
                 {},
                 {QStringLiteral("from"), QStringLiteral("to")},
                 0,
                 copy});
}

} // namespace qvr::dose
