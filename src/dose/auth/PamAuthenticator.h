#pragma once
// The password checked through PAM: the service's auth stack (pam_authenticate), then its
// account stack (pam_acct_mgmt: an expired or disabled account may not sign).

#include "dose/auth/Authenticator.h"

namespace qvr::dose {

inline constexpr const char* kPamService = "qvr100dose";

class PamAuthenticator : public Authenticator {
public:
    explicit PamAuthenticator(QString service = QString::fromLatin1(kPamService));
    Authentication check(const QString& account, QByteArray& password) override;

private:
    QString service_;
};

} // namespace qvr::dose
