#pragma once
// Who may sign: a password checked for an account by the system's authentication, never
// against a store of the program's own.

#include <QByteArray>
#include <QString>

namespace qvr::dose {

struct Authentication {
    enum class Result { Ok, WrongPassword, Refused, Error };
    Result result = Result::Error;
    QString text; // why, when not Ok: "account expired", "authentication service unavailable"
};

class Authenticator {
public:
    virtual ~Authenticator() = default;
    // Checks password for account and wipes it, whatever the result.
    virtual Authentication check(const QString& account, QByteArray& password) = 0;
};

// Overwrites the bytes before they are freed.
void wipe(QByteArray& secret);

} // namespace qvr::dose
