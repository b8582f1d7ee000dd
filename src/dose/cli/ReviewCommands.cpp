#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/usecases/JobReport.h"
#include "dose/usecases/JobReview.h"

namespace qvr::dose {

QJsonObject signatureJson(const std::optional<Signature>& signature, const QString& account) {
    if (!signature)
        return {{"account", account},
                {"name", QJsonValue::Null},
                {"signed_at", QJsonValue::Null},
                {"offset", QJsonValue::Null},
                {"meaning", QJsonValue::Null},
                {"signed", false}};
    const Signature& s = *signature;
    return {{"account", s.account},
            {"name", s.name},
            {"signed_at", timeText(s.signedAt)},
            {"offset", offsetText(s.utcOffsetS)},
            {"meaning", s.meaning},
            {"signed", true}};
}

QJsonObject reviewJson(const Review& r) {
    return {{"review", r.id},
            {"decision", r.approved ? QStringLiteral("approved") : QStringLiteral("returned")},
            {"reason", r.reason},
            {"reviewer", r.reviewer},
            {"created_at", timeText(r.createdAt)},
            {"signature", signatureJson(r.signature, r.reviewer)}};
}

namespace {

int review(Ctx& ctx, bool approve) {
    Review r;
    r.jobId = ctx.positional[0];
    r.approved = approve;
    r.reason = ctx.value(QStringLiteral("reason")).trimmed();
    r.reviewer = ctx.env.operatorName;
    if (!approve && r.reason.isEmpty())
        return ctx.usage(QStringLiteral("--reason must say why the job is returned"));
    Signer* signer = ctx.signer();
    if (!signer)
        return kRefused;
    Store* store = ctx.store();
    auto receipt = reviewJob(*store, *signer, r);
    if (!receipt)
        return ctx.refuse(receipt.error());
    auto reviews = store->reviews(r.jobId);
    if (!reviews)
        return ctx.refuse(reviews.error());
    const Review& made = reviews->back();
    const QString what = approve ? QStringLiteral("approved") : QStringLiteral("returned");
    if (ctx.json)
        return ctx.printJson(
            QJsonObject{{"job", r.jobId},
                        {"review", receipt->id},
                        {"decision", what},
                        {"reviewer", r.reviewer},
                        {"signature", signatureJson(made.signature, made.reviewer)},
                        {"chain_head", receipt->hash}});
    ctx.print(reviewText(made) + QStringLiteral("; ") + reviewSignatureText(made));
    return ctx.done(receipt->hash);
}

int report(Ctx& ctx) {
    const QString path = ctx.value(QStringLiteral("pdf"));
    if (path.isEmpty())
        return ctx.usage(QStringLiteral("--pdf needs the file to write"));
    if (!ctx.env.writePdf)
        return ctx.refuse(QStringLiteral("this program cannot write PDF files"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto built = buildJobReport(*store, ctx.positional[0], ctx.env.now());
    if (!built)
        return ctx.refuse(built.error());
    auto pages = ctx.env.writePdf(*built, path);
    if (!pages)
        return ctx.refuse(pages.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"report", built->id},
                                         {"pages", *pages},
                                         {"file", path},
                                         {"chain_head", built->chainHead}});
    ctx.print(QStringLiteral("report %1 (%2 pages) written to %3")
                  .arg(built->id, QString::number(*pages), path));
    return kOk;
}

} // namespace

void addReviewCommands(std::vector<Command>& c) {
    c.push_back({QStringLiteral("job approve"),
                 QStringLiteral("job approve ID [--reason TEXT]"),
                 QStringLiteral("Approves a job's results for release, signed: asks the "
                                "password of the login running it on the terminal. Only a login "
                                "that read or corrected none of its dosimeters may; a training "
                                "job never is."),
                 {QStringLiteral("reason")},
                 {},
                 {},
                 1,
                 [](Ctx& ctx) { return review(ctx, true); }});
    c.push_back({QStringLiteral("job return"),
                 QStringLiteral("job return ID --reason TEXT"),
                 QStringLiteral("Returns a job to its readers with the reason, instead of "
                                "approving it; signed as job approve is."),
                 {QStringLiteral("reason")},
                 {},
                 {QStringLiteral("reason")},
                 1,
                 [](Ctx& ctx) { return review(ctx, false); }});
    c.push_back({QStringLiteral("job report"),
                 QStringLiteral("job report ID --pdf FILE"),
                 QStringLiteral("Writes the job's report as PDF, the same the window writes: "
                                "the job, batch, calibration, reader and check, every read, the "
                                "uncertainty budget, the decision, the signatures, the flags' "
                                "legend and the chain's head."),
                 {QStringLiteral("pdf")},
                 {},
                 {QStringLiteral("pdf")},
                 1,
                 report});
}

} // namespace qvr::dose
