#include "dose/cli/CliCommand.h"

#include "dose/store/Dialect.h"

namespace qvr::dose {

namespace {

int describe(Ctx& ctx, Store& store, const QString& location, const SchemaChange& change) {
    auto head = store.headHash();
    if (!head)
        return ctx.refuse(head.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"database", location},
                                         {"kind", store.dialect().name()},
                                         {"schema_from", change.from},
                                         {"schema_version", change.to},
                                         {"chain_head", *head}});
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
    if (!head->isEmpty())
        ctx.print(QStringLiteral("chain head %1").arg(*head));
    return kOk;
}

int init(Ctx& ctx) {
    SchemaChange change;
    auto store = Store::openAtVersion(ctx.env.database, kSchemaVersion, &change, ctx.env.now,
                                      IfMissing::Create);
    if (!store)
        return ctx.refuse(store.error());
    return describe(ctx, **store, ctx.env.database, change);
}

int migrate(Ctx& ctx) {
    const auto to = ctx.integer(QStringLiteral("to"), Quantity{1, kSchemaVersion, false, "", true});
    if (ctx.usageError())
        return kUsage;
    SchemaChange change;
    auto store =
        Store::openAtVersion(ctx.env.database, static_cast<int>(to.value_or(kSchemaVersion)),
                             &change, ctx.env.now, IfMissing::Refuse);
    if (!store)
        return ctx.refuse(store.error());
    return describe(ctx, **store, ctx.env.database, change);
}

int copy(Ctx& ctx) {
    const QString from = ctx.value(QStringLiteral("from")), to = ctx.value(QStringLiteral("to"));
    if (from == to)
        return ctx.usage(QStringLiteral("--from and --to name the same database"));
    auto source = Store::open(from, ctx.env.now, IfMissing::Refuse);
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
