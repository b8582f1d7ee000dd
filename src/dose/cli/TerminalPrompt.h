#pragma once
// The signer's password typed on the controlling terminal without echo. Never read from the
// command line, the environment or a pipe: without a terminal nothing is signed.

#include "dose/auth/PasswordPrompt.h"

namespace qvr::dose {

class TerminalPrompt : public PasswordPrompt {
public:
    Outcome<QByteArray> password(const SigningRequest& request) override;
};

} // namespace qvr::dose
