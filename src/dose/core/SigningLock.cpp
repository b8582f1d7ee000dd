#include "dose/core/SigningLock.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

QString SigningFailure::canonical() const {
    return Canonical(QStringLiteral("signing_failure"))
        .integer("id", id)
        .text("account", account)
        .text("act", act)
        .time("created_at", createdAt)
        .finish();
}

namespace {

struct LockState {
    int run = 0; // wrong passwords in a row since the last signature or lock
    QDateTime lockedUntil;
};

LockState lockState(const std::vector<SigningFailure>& failures, const QDateTime& lastSigned) {
    LockState s;
    for (const SigningFailure& f : failures) {
        if (lastSigned.isValid() && f.createdAt <= lastSigned)
            continue;
        if (++s.run == kSigningTries) {
            s.lockedUntil = f.createdAt.addSecs(60 * kSigningLockMinutes);
            s.run = 0;
        }
    }
    return s;
}

} // namespace

QDateTime signingLockedUntil(const std::vector<SigningFailure>& failures,
                             const QDateTime& lastSigned, const QDateTime& now) {
    const LockState s = lockState(failures, lastSigned);
    return s.lockedUntil.isValid() && now < s.lockedUntil ? s.lockedUntil : QDateTime();
}

int signingTriesLeft(const std::vector<SigningFailure>& failures, const QDateTime& lastSigned) {
    return kSigningTries - lockState(failures, lastSigned).run;
}

} // namespace qvr::dose
