#include "dose/core/Signature.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

QString approvedMeaning() {
    return QStringLiteral("reviewed and approved");
}

QString returnedMeaning() {
    return QStringLiteral("returned");
}

QString acceptedCalibrationMeaning() {
    return QStringLiteral("accepted calibration");
}

QString performedCheckMeaning() {
    return QStringLiteral("performed reader check");
}

QString correctedMeaning() {
    return QStringLiteral("corrected record");
}

QString approvedStudyMeaning() {
    return QStringLiteral("approved mapping study");
}

void addSignature(Canonical& c, const std::optional<Signature>& s) {
    if (s)
        c.text("signer_name", s->name)
            .time("signed_at", s->signedAt)
            .integer("utc_offset_s", s->utcOffsetS)
            .text("meaning", s->meaning);
}

QString signerText(const QString& name, const QString& account) {
    return name == account ? account : QStringLiteral("%1 (%2)").arg(name, account);
}

QString offsetText(int utcOffsetS) {
    const int minutes = std::abs(utcOffsetS) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(utcOffsetS < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString signedAtText(const Signature& s) {
    return QStringLiteral("%1 UTC (%2)")
        .arg(s.signedAt.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
             offsetText(s.utcOffsetS));
}

QString signatureText(const Signature& s) {
    return QStringLiteral("signed by %1, %2, %3")
        .arg(signerText(s.name, s.account), s.meaning, signedAtText(s));
}

QString unsignedText(const QString& account) {
    return QStringLiteral("attributed to %1, not signed").arg(account);
}

QString signatureOrAttribution(const std::optional<Signature>& signature, const QString& account) {
    return signature ? signatureText(*signature) : unsignedText(account);
}

} // namespace qvr::dose
