#include "dose/core/Amendment.h"

#include "dose/core/Batch.h"
#include "dose/core/Calibration.h"
#include "dose/core/Canonical.h"

namespace qvr::dose {

QString Amendment::canonical() const {
    Canonical out(QStringLiteral("amendment"));
    out.integer("id", id)
        .text("subject", subject)
        .text("subject_id", subjectId)
        .integer("version", version)
        .text("certificate", certificate)
        .date("valid_until", validUntil)
        .raw("background", backgroundText(background))
        .raw("u_background", backgroundText(uBackground))
        .text("reason", reason)
        .text("operator", operatorName)
        .time("created_at", createdAt);
    return out.finish();
}

std::optional<QString> amendmentRefusal(const Amendment& a, const Batch* batch) {
    if (a.reason.trimmed().isEmpty())
        return QStringLiteral("a new version needs a reason: say why it is added");
    const bool calibration = a.subject == kCalibrationSubject;
    if (calibration && (!a.background.empty() || !a.uBackground.empty()))
        return QStringLiteral("a background belongs to the film batch: add it as a new version "
                              "of batch instead");
    if (!calibration && (!a.certificate.isEmpty() || a.validUntil.isValid()))
        return QStringLiteral("a certificate and a validity belong to a calibration");
    if (a.certificate.isEmpty() && !a.validUntil.isValid() && a.background.empty() &&
        a.uBackground.empty())
        return calibration ? QStringLiteral("nothing to add: give a certificate or a valid-until "
                                            "date")
                           : QStringLiteral("nothing to add: give a background or its "
                                            "uncertainty");
    for (const auto& [nm, u] : a.uBackground) {
        if (!a.background.count(nm) && !(batch && batch->a0(nm)))
            return QStringLiteral("batch %1 has no background at %2 nm to give an uncertainty "
                                  "for: give the background too")
                .arg(a.subjectId)
                .arg(nm);
    }
    return std::nullopt;
}

Calibration amended(Calibration c, const Amendment& a) {
    if (!a.certificate.isEmpty())
        c.certificate = a.certificate;
    if (a.validUntil.isValid())
        c.validUntil = a.validUntil;
    c.version = a.version;
    c.amendments.push_back(a);
    return c;
}

Batch amended(Batch b, const Amendment& a) {
    for (const auto& [nm, v] : a.background) {
        b.background[nm] = v;
        // A background measured again does not keep the old one's uncertainty.
        if (!a.uBackground.count(nm))
            b.uBackground.erase(nm);
    }
    for (const auto& [nm, u] : a.uBackground)
        b.uBackground[nm] = u;
    b.version = a.version;
    b.amendments.push_back(a);
    return b;
}

QString amendmentLine(const Amendment& a) {
    QStringList what;
    if (!a.certificate.isEmpty())
        what << QStringLiteral("certificate %1").arg(a.certificate);
    if (a.validUntil.isValid())
        what << QStringLiteral("valid until %1").arg(dateText(a.validUntil));
    for (const auto& [nm, v] : a.background)
        what << QStringLiteral("background %1 at %2 nm").arg(numberText(v)).arg(nm);
    for (const auto& [nm, u] : a.uBackground)
        what << QStringLiteral("u(background) %1 at %2 nm").arg(numberText(u)).arg(nm);
    return QStringLiteral("version %1 by %2 at %3: %4; why: %5")
        .arg(QString::number(a.version), a.operatorName, timeText(a.createdAt),
             what.join(QStringLiteral(", ")), a.reason);
}

} // namespace qvr::dose
