#pragma once
// For tests where who signs is not what is tested: a prompt that always answers and an
// authenticator that takes any password, so the signed acts run as the program runs them.

#include "dose/auth/Authenticator.h"
#include "dose/auth/PasswordPrompt.h"
#include "dose/usecases/Signer.h"

namespace qvr::test {

class AnsweringPrompt : public dose::PasswordPrompt {
public:
    dose::Outcome<QByteArray> password(const dose::SigningRequest&) override {
        return QByteArray("any");
    }
};

class AcceptingAuthenticator : public dose::Authenticator {
public:
    dose::Authentication check(const QString&, QByteArray& password) override {
        dose::wipe(password);
        return {dose::Authentication::Result::Ok, {}};
    }
};

// Every signature accepted, for a CliEnv or a DoseWindowEnv.
template <class Env> Env& withFakeSigning(Env& env) {
    static AnsweringPrompt prompt;
    static AcceptingAuthenticator authenticator;
    env.passwords = &prompt;
    env.authenticator = &authenticator;
    return env;
}

// A Signer on store that signs every act.
struct FakeSigner {
    explicit FakeSigner(dose::Store& store) : signer(store, authenticator, prompt) {}
    AnsweringPrompt prompt;
    AcceptingAuthenticator authenticator;
    dose::Signer signer;
};

} // namespace qvr::test
