// A later certificate, validity or background: a new version of its calibration or batch.

#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

namespace {

QJsonObject perWavelength(const std::map<int, double>& values) {
    QJsonObject o;
    for (const auto& [nm, v] : values)
        o.insert(QString::number(nm), v);
    return o;
}

} // namespace

QJsonObject amendmentJson(const Amendment& a) {
    QJsonObject o{{"version", a.version},
                  {"reason", a.reason},
                  {"operator", a.operatorName},
                  {"created_at", timeText(a.createdAt)}};
    if (!a.certificate.isEmpty())
        o.insert("certificate", a.certificate);
    if (a.validUntil.isValid())
        o.insert("valid_until", dateText(a.validUntil));
    if (!a.background.empty())
        o.insert("background", perWavelength(a.background));
    if (!a.uBackground.empty())
        o.insert("u_background", perWavelength(a.uBackground));
    return o;
}

int addAmendment(Ctx& ctx, Amendment a) {
    a.operatorName = ctx.env.operatorName;
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto r = store->amend(a);
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{a.subject, a.subjectId},
                                         {"version", static_cast<qint64>(r->id)},
                                         {"chain_head", r->hash}});
    ctx.print(QStringLiteral("%1 %2 is now at version %3").arg(a.subject, a.subjectId).arg(r->id));
    return ctx.done(r->hash);
}

} // namespace qvr::dose
