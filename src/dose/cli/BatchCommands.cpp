#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

namespace {

QJsonObject batchJson(const Batch& b) {
    QJsonObject background;
    for (const auto& [nm, a0] : b.background)
        background.insert(QString::number(nm), a0);
    QJsonObject uBackground;
    for (const auto& [nm, u] : b.uBackground)
        uBackground.insert(QString::number(nm), u);
    QJsonArray versions;
    for (const Amendment& a : b.amendments)
        versions.append(amendmentJson(a));
    return {{"id", b.id},
            {"version", b.version},
            {"description", b.description},
            {"thickness_um", b.thicknessUm},
            {"u_thickness_um", b.uThicknessUm},
            {"background", background},
            {"u_background", uBackground},
            {"amendments", versions},
            {"expires", b.expires.isValid() ? QJsonValue(dateText(b.expires)) : QJsonValue()},
            {"operator", b.operatorName},
            {"created_at", timeText(b.createdAt)}};
}

QString batchLine(const Batch& b) {
    QStringList background;
    for (const auto& [nm, a0] : b.background)
        background
            << (b.uBackground.count(nm)
                    ? QStringLiteral("A0 %1 ± %2 at %3 nm")
                          .arg(numberText(a0), numberText(b.uA0(nm)), QString::number(nm))
                    : QStringLiteral("A0 %1 at %2 nm").arg(numberText(a0), QString::number(nm)));
    return QStringLiteral("%1  %2 ± %3 µm  %4  expires %5  %6")
        .arg(b.id, numberText(b.thicknessUm), numberText(b.uThicknessUm),
             background.isEmpty() ? QStringLiteral("no background") : background.join(", "),
             b.expires.isValid() ? dateText(b.expires) : QStringLiteral("-"), b.description);
}

// NM=VALUE pairs of option, such as 510=0.041; false after a usage error.
// name is what the value is (A0, U), as messages and the usage line call it.
bool wavelengthValues(Ctx& ctx, const QString& option, const QString& name,
                      const Quantity& quantity, std::map<int, double>& out) {
    for (const QString& pair : ctx.values(option)) {
        const QStringList parts = pair.split(QLatin1Char('='));
        if (parts.size() != 2) {
            ctx.usage(QStringLiteral("--%1 takes NM=%2 (such as 510=0.041), not \"%3\"")
                          .arg(option, name, pair));
            return false;
        }
        const auto nm =
            parseQuantity(QStringLiteral("--%1 wavelength").arg(option), parts[0], kWavelengthNm);
        const auto v =
            nm ? parseQuantity(QStringLiteral("--%1 %2").arg(option, name), parts[1], quantity)
               : Outcome<double>(Failure{nm.error()});
        if (!v) {
            ctx.usage(v.error());
            return false;
        }
        if (!out.emplace(static_cast<int>(*nm), *v).second) {
            ctx.usage(QStringLiteral("--%1 gives %2 nm twice").arg(option, parts[0]));
            return false;
        }
    }
    return true;
}

int add(Ctx& ctx) {
    Batch b;
    b.id = ctx.positional[0];
    b.description = ctx.value(QStringLiteral("description"));
    const auto t = ctx.number(QStringLiteral("thickness-um"), kThicknessUm);
    const auto u = ctx.number(QStringLiteral("u-thickness-um"), kUThicknessUm);
    const auto expires = ctx.dateFromToday(QStringLiteral("expires"));
    if (ctx.usageError())
        return kUsage;
    b.thicknessUm = *t;
    b.uThicknessUm = u.value_or(0);
    if (!wavelengthValues(ctx, QStringLiteral("background"), QStringLiteral("A0"), kAbsorbance,
                          b.background) ||
        !wavelengthValues(ctx, QStringLiteral("u-background"), QStringLiteral("U"), kUAbsorbance,
                          b.uBackground))
        return kUsage;
    for (const auto& [nm, uA0] : b.uBackground)
        if (!b.background.count(nm))
            return ctx.usage(QStringLiteral("--u-background gives an uncertainty at %1 nm, where "
                                            "--background gives no A0")
                                 .arg(nm));
    if (expires)
        b.expires = *expires;
    b.operatorName = ctx.env.operatorName;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = store->addBatch(b);
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"id", b.id}, {"chain_head", r->hash}});
    ctx.print(QStringLiteral("batch %1 added").arg(b.id));
    return ctx.done(r->hash);
}

int list(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto all = store->batches();
    if (!all)
        return ctx.refuse(all.error());
    if (ctx.json) {
        QJsonArray a;
        for (const Batch& b : *all)
            a.append(batchJson(b));
        return ctx.printJson(a);
    }
    for (const Batch& b : *all)
        ctx.print(batchLine(b));
    return kOk;
}

int show(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto b = store->batch(ctx.positional[0]);
    if (!b)
        return ctx.refuse(b.error());
    if (ctx.json)
        return ctx.printJson(batchJson(*b));
    ctx.print(batchLine(*b));
    ctx.print(QStringLiteral("added by %1 at %2").arg(b->operatorName, timeText(b->createdAt)));
    for (const Amendment& a : b->amendments)
        ctx.print(amendmentLine(a));
    return kOk;
}

int amend(Ctx& ctx) {
    Amendment a;
    a.subject = kBatchSubject;
    a.subjectId = ctx.positional[0];
    a.reason = ctx.value(QStringLiteral("reason"));
    if (!wavelengthValues(ctx, QStringLiteral("background"), QStringLiteral("A0"), kAbsorbance,
                          a.background) ||
        !wavelengthValues(ctx, QStringLiteral("u-background"), QStringLiteral("U"), kUAbsorbance,
                          a.uBackground))
        return kUsage;
    return addAmendment(ctx, a);
}

} // namespace

void addBatchCommands(std::vector<Command>& c) {
    c.push_back({QStringLiteral("batch add"),
                 QStringLiteral("batch add ID --thickness-um T [--u-thickness-um U] "
                                "[--background NM=A0]... [--u-background NM=U]... [--expires DATE] "
                                "[--description TEXT]"),
                 QStringLiteral("Adds a film batch: nominal thickness (µm) with its standard "
                                "uncertainty, the background absorbance A0 of unirradiated film "
                                "at each wavelength with its standard uncertainty, and the expiry "
                                "date."),
                 {QStringLiteral("thickness-um"), QStringLiteral("u-thickness-um"),
                  QStringLiteral("background"), QStringLiteral("u-background"),
                  QStringLiteral("expires"), QStringLiteral("description")},
                 {},
                 {QStringLiteral("thickness-um")},
                 1,
                 add});
    c.push_back({QStringLiteral("batch list"),
                 QStringLiteral("batch list"),
                 QStringLiteral("Lists the film batches."),
                 {},
                 {},
                 {},
                 0,
                 list});
    c.push_back({QStringLiteral("batch show"),
                 QStringLiteral("batch show ID"),
                 QStringLiteral("Shows one film batch as it is used now, and its versions."),
                 {},
                 {},
                 {},
                 1,
                 show});
    c.push_back(
        {QStringLiteral("batch amend"),
         QStringLiteral("batch amend ID [--background NM=A0]... [--u-background NM=U]... "
                        "--reason TEXT"),
         QStringLiteral("Gives a film batch a background measured again, or its "
                        "uncertainty, as a new version with the reason; reads made "
                        "before keep the version they used."),
         {QStringLiteral("background"), QStringLiteral("u-background"), QStringLiteral("reason")},
         {},
         {QStringLiteral("reason")},
         1,
         amend});
}

} // namespace qvr::dose
