#pragma once
// The window's signature: who signs (the account of this session), what the signature means,
// and the password typed into a hidden field.

#include "dose/auth/PasswordPrompt.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace qvr::dose {

class SigningDialog : public QDialog {
    Q_OBJECT
public:
    explicit SigningDialog(const SigningRequest& request, QWidget* parent = nullptr);
    QLabel* statement() const { return statement_; }
    QLineEdit* passwordField() const { return password_; }
    // The password typed, taken out of the field and the field cleared.
    QByteArray takePassword();

private:
    QLabel* statement_;
    QLineEdit* password_;
};

// The program's prompt in the window: a signing dialog over the active window.
class DialogPrompt : public PasswordPrompt {
public:
    Outcome<QByteArray> password(const SigningRequest& request) override;
};

} // namespace qvr::dose
