#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

namespace {

QJsonObject batchJson(const Batch& b) {
    QJsonObject background;
    for (const auto& [nm, a0] : b.background)
        background.insert(QString::number(nm), a0);
    return {{"id", b.id},
            {"description", b.description},
            {"thickness_um", b.thicknessUm},
            {"u_thickness_um", b.uThicknessUm},
            {"background", background},
            {"expires", b.expires.isValid() ? QJsonValue(dateText(b.expires)) : QJsonValue()},
            {"operator", b.operatorName},
            {"created_at", timeText(b.createdAt)}};
}

QString batchLine(const Batch& b) {
    QStringList background;
    for (const auto& [nm, a0] : b.background)
        background << QStringLiteral("A0 %1 at %2 nm").arg(numberText(a0), QString::number(nm));
    return QStringLiteral("%1  %2 ± %3 µm  %4  expires %5  %6")
        .arg(b.id, numberText(b.thicknessUm), numberText(b.uThicknessUm),
             background.isEmpty() ? QStringLiteral("no background") : background.join(", "),
             b.expires.isValid() ? dateText(b.expires) : QStringLiteral("-"), b.description);
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
    for (const QString& pair : ctx.values(QStringLiteral("background"))) {
        const QStringList parts = pair.split(QLatin1Char('='));
        if (parts.size() != 2)
            return ctx.usage(QStringLiteral("--background takes NM=A0 (such as 600=0.12), not "
                                            "\"%1\"")
                                 .arg(pair));
        const auto nm =
            parseQuantity(QStringLiteral("--background wavelength"), parts[0], kWavelengthNm);
        if (!nm)
            return ctx.usage(nm.error());
        const auto a0 = parseQuantity(QStringLiteral("--background A0"), parts[1], kAbsorbance);
        if (!a0)
            return ctx.usage(a0.error());
        if (b.background.count(static_cast<int>(*nm)))
            return ctx.usage(QStringLiteral("--background gives %1 nm twice").arg(parts[0]));
        b.background[static_cast<int>(*nm)] = *a0;
    }
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
    return kOk;
}

} // namespace

void addBatchCommands(std::vector<Command>& c) {
    c.push_back(
        {QStringLiteral("batch add"),
         QStringLiteral("batch add ID --thickness-um T [--u-thickness-um U] "
                        "[--background NM=A0]... [--expires DATE] [--description TEXT]"),
         QStringLiteral("Adds a film batch: nominal thickness (µm) with its standard "
                        "uncertainty, the background absorbance A0 of unirradiated film "
                        "at each wavelength, and the expiry date."),
         {QStringLiteral("thickness-um"), QStringLiteral("u-thickness-um"),
          QStringLiteral("background"), QStringLiteral("expires"), QStringLiteral("description")},
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
                 QStringLiteral("Shows one film batch."),
                 {},
                 {},
                 {},
                 1,
                 show});
}

} // namespace qvr::dose
