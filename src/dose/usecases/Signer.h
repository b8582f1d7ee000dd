#pragma once
// Every act that carries responsibility is signed here: the signer re-enters their password,
// checked by the system for the account, unless that account is locked after wrong passwords.

#include "dose/auth/Authenticator.h"
#include "dose/auth/PasswordPrompt.h"
#include "dose/store/Store.h"

namespace qvr::dose {

class Signer {
public:
    Signer(Store& store, Authenticator& authenticator, PasswordPrompt& prompt);
    // A signature by account with meaning, at the store's clock; act names what is signed
    // ("approve job R1"), and is kept with a wrong password.
    Outcome<Signature> sign(const QString& account, const QString& meaning, const QString& act);

private:
    Store& store_;
    Authenticator& authenticator_;
    PasswordPrompt& prompt_;
};

} // namespace qvr::dose
