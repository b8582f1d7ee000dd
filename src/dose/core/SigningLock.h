#pragma once
// Guessing a password is stopped: after kSigningTries wrong passwords in a row an account may
// not sign for kSigningLockMinutes. A signature resets the count.

#include <QDateTime>
#include <QString>
#include <vector>

namespace qvr::dose {

inline constexpr int kSigningTries = 3;
inline constexpr int kSigningLockMinutes = 15;

// A wrong password given to sign; never the password itself.
struct SigningFailure {
    qint64 id = 0;
    QString account;
    QString act; // what was to be signed: "approve job R1"
    QDateTime createdAt;

    QString canonical() const;
};

// When the account may sign again, or an invalid time when it may now. failures: the
// account's, oldest first; lastSigned: its latest signature (invalid when none).
QDateTime signingLockedUntil(const std::vector<SigningFailure>& failures,
                             const QDateTime& lastSigned, const QDateTime& now);

// How many wrong passwords the account may still give before it is locked.
int signingTriesLeft(const std::vector<SigningFailure>& failures, const QDateTime& lastSigned);

} // namespace qvr::dose
