#pragma once
// An electronic signature as it is shown wherever the signed row is: who (the account and the
// printed name), when (UTC and the signer's local offset) and what the signature means.

#include <QDateTime>
#include <QString>
#include <optional>

namespace qvr::dose {

struct Signature {
    QString account;    // the login that authenticated
    QString name;       // printed name: the account's full name, else the account
    QDateTime signedAt; // UTC
    int utcOffsetS = 0; // the signer's local offset from UTC at that moment
    QString meaning;    // "reviewed and approved", "returned"
};

class Canonical;

// The meanings of the signed acts.
QString approvedMeaning();
QString returnedMeaning();
QString acceptedCalibrationMeaning();
QString performedCheckMeaning();
QString correctedMeaning();
QString approvedStudyMeaning();

// A signed row's text ends with its signature; an unsigned one keeps the text it was hashed
// with before rows were signed.
void addSignature(Canonical& canonical, const std::optional<Signature>& signature);

// "Ben Ross (ben)", or "ben" when the account has no other name
QString signerText(const QString& name, const QString& account);

// "+01:00", "-05:30"
QString offsetText(int utcOffsetS);
// "2026-12-08 09:14 UTC (+01:00)"
QString signedAtText(const Signature& signature);
// "Ben Ross (ben), reviewed and approved, 2026-12-08 09:14 UTC (+01:00)"
QString signatureText(const Signature& signature);
// For a row made before signatures: "attributed to ben, not signed"
QString unsignedText(const QString& account);
// The one or the other.
QString signatureOrAttribution(const std::optional<Signature>& signature, const QString& account);

} // namespace qvr::dose
