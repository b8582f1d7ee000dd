#include "dose/usecases/Signer.h"

#include "dose/core/Operator.h"
#include "dose/core/SigningLock.h"

namespace qvr::dose {

Signer::Signer(Store& store, Authenticator& authenticator, PasswordPrompt& prompt)
    : store_(store), authenticator_(authenticator), prompt_(prompt) {}

namespace {

QString lockedText(const QString& account, const QDateTime& until) {
    return QStringLiteral("%1 may not sign until %2: %3 wrong passwords in a row")
        .arg(account, until.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")),
             QString::number(kSigningTries));
}

} // namespace

Outcome<Signature> Signer::sign(const QString& account, const QString& meaning,
                                const QString& act) {
    auto failures = store_.signingFailures(account);
    if (!failures)
        return Failure{failures.error()};
    auto last = store_.lastSignature(account);
    if (!last)
        return Failure{last.error()};
    const QDateTime now = store_.clock()();
    if (const QDateTime until = signingLockedUntil(*failures, *last, now); until.isValid())
        return Failure{lockedText(account, until)};
    const QString name = printedName(account);
    auto password = prompt_.password({account, name, meaning, act});
    if (!password)
        return Failure{password.error()};
    const Authentication checked = authenticator_.check(account, *password);
    wipe(*password);
    switch (checked.result) {
    case Authentication::Result::Ok:
        return Signature{account, name, now, now.toLocalTime().offsetFromUtc(), meaning};
    case Authentication::Result::WrongPassword: {
        auto kept = store_.addSigningFailure({0, account, act, {}});
        if (!kept)
            return Failure{kept.error()};
        auto all = store_.signingFailures(account);
        if (!all)
            return Failure{all.error()};
        if (const QDateTime until = signingLockedUntil(*all, *last, store_.clock()());
            until.isValid())
            return Failure{QStringLiteral("wrong password; ") + lockedText(account, until)};
        return Failure{QStringLiteral("wrong password for %1: not signed (%2 more wrong and "
                                      "signing is locked for %3 minutes)")
                           .arg(account, QString::number(signingTriesLeft(*all, *last)),
                                QString::number(kSigningLockMinutes))};
    }
    case Authentication::Result::Refused:
    case Authentication::Result::Error:
        break;
    }
    return Failure{QStringLiteral("%1 cannot sign: %2").arg(account, checked.text)};
}

} // namespace qvr::dose
