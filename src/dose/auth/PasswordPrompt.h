#pragma once
// Where a signer's password comes from at the moment of signing: the terminal on the command
// line, a dialog in the window.

#include "dose/core/Outcome.h"

#include <QByteArray>
#include <QString>

namespace qvr::dose {

// What the signer is asked to sign, shown before the password is asked.
struct SigningRequest {
    QString account;
    QString name;    // printed name
    QString meaning; // "reviewed and approved"
    QString act;     // "approve job R1"
};

class PasswordPrompt {
public:
    virtual ~PasswordPrompt() = default;
    // The password typed, or why there is none (no terminal, cancelled).
    virtual Outcome<QByteArray> password(const SigningRequest& request) = 0;
};

} // namespace qvr::dose
