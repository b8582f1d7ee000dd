#include "dose/cli/CliCommand.h"

#include "dose/usecases/JobReview.h"

namespace qvr::dose {

namespace {

int review(Ctx& ctx, bool approve) {
    Review r;
    r.jobId = ctx.positional[0];
    r.approved = approve;
    r.reason = ctx.value(QStringLiteral("reason")).trimmed();
    r.reviewer = ctx.env.operatorName;
    if (!approve && r.reason.isEmpty())
        return ctx.usage(QStringLiteral("--reason must say why the job is returned"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto receipt = reviewJob(*store, r);
    if (!receipt)
        return ctx.refuse(receipt.error());
    const QString what = approve ? QStringLiteral("approved") : QStringLiteral("returned");
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"job", r.jobId},
                                         {"review", receipt->id},
                                         {"decision", what},
                                         {"reviewer", r.reviewer},
                                         {"chain_head", receipt->hash}});
    ctx.print(reviewText(r));
    return ctx.done(receipt->hash);
}

} // namespace

void addReviewCommands(std::vector<Command>& c) {
    c.push_back({QStringLiteral("job approve"),
                 QStringLiteral("job approve ID [--reason TEXT]"),
                 QStringLiteral("Approves a job's results for release. Only a login that read or "
                                "corrected none of its dosimeters may; a training job never is."),
                 {QStringLiteral("reason")},
                 {},
                 {},
                 1,
                 [](Ctx& ctx) { return review(ctx, true); }});
    c.push_back({QStringLiteral("job return"),
                 QStringLiteral("job return ID --reason TEXT"),
                 QStringLiteral("Returns a job to its readers with the reason, instead of "
                                "approving it."),
                 {QStringLiteral("reason")},
                 {},
                 {QStringLiteral("reason")},
                 1,
                 [](Ctx& ctx) { return review(ctx, false); }});
}

} // namespace qvr::dose
