#include "dose/auth/PamAuthenticator.h"

#include <security/pam_appl.h>

#include <cstdlib>
#include <cstring>

namespace qvr::dose {

void wipe(QByteArray& secret) {
    if (!secret.isEmpty())
        explicit_bzero(secret.data(), static_cast<size_t>(secret.size()));
    secret.clear();
}

namespace {

struct Conversation {
    const QByteArray* password = nullptr;
    bool given = false; // the password is handed over once: a second prompt gets nothing
};

// Answers the one hidden prompt with the password; other messages need no answer.
int converse(int count, const pam_message** messages, pam_response** responses, void* data) {
    auto* conversation = static_cast<Conversation*>(data);
    if (count <= 0 || !messages || !responses)
        return PAM_CONV_ERR;
    auto* replies =
        static_cast<pam_response*>(calloc(static_cast<size_t>(count), sizeof(pam_response)));
    if (!replies)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const int style = messages[i]->msg_style;
        if (style != PAM_PROMPT_ECHO_OFF && style != PAM_PROMPT_ECHO_ON)
            continue;
        if (conversation->given || style == PAM_PROMPT_ECHO_ON) {
            for (int j = 0; j < i; ++j)
                if (replies[j].resp) {
                    explicit_bzero(replies[j].resp, std::strlen(replies[j].resp));
                    free(replies[j].resp);
                }
            free(replies);
            return PAM_CONV_ERR;
        }
        replies[i].resp = strndup(conversation->password->constData(),
                                  static_cast<size_t>(conversation->password->size()));
        if (!replies[i].resp) {
            free(replies);
            return PAM_BUF_ERR;
        }
        conversation->given = true;
    }
    *responses = replies;
    return PAM_SUCCESS;
}

Authentication failed(Authentication::Result result, pam_handle_t* pam, int status) {
    return {result, QString::fromLocal8Bit(pam_strerror(pam, status))};
}

} // namespace

PamAuthenticator::PamAuthenticator(QString service) : service_(std::move(service)) {}

Authentication PamAuthenticator::check(const QString& account, QByteArray& password) {
    Conversation conversation{&password};
    const pam_conv conv{converse, &conversation};
    pam_handle_t* pam = nullptr;
    const QByteArray service = service_.toLocal8Bit();
    const QByteArray user = account.toLocal8Bit();
    int status = pam_start(service.constData(), user.constData(), &conv, &pam);
    Authentication outcome;
    if (status != PAM_SUCCESS) {
        outcome = failed(Authentication::Result::Error, pam, status);
    } else if (status = pam_authenticate(pam, PAM_DISALLOW_NULL_AUTHTOK); status != PAM_SUCCESS) {
        const bool wrong =
            status == PAM_AUTH_ERR || status == PAM_USER_UNKNOWN || status == PAM_MAXTRIES;
        outcome =
            failed(wrong ? Authentication::Result::WrongPassword : Authentication::Result::Error,
                   pam, status);
    } else if (status = pam_acct_mgmt(pam, PAM_DISALLOW_NULL_AUTHTOK); status != PAM_SUCCESS) {
        outcome = failed(Authentication::Result::Refused, pam, status);
    } else {
        outcome = {Authentication::Result::Ok, QString()};
    }
    if (pam)
        pam_end(pam, status);
    wipe(password);
    return outcome;
}

} // namespace qvr::dose
