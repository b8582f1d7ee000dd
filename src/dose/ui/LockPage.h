#pragma once
// What a locked window shows instead of its views: who it belongs to, and a password field
// through which only that person opens it again.

#include "dose/auth/PasswordPrompt.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qvr::dose {

class LockPage : public QWidget {
    Q_OBJECT
public:
    explicit LockPage(QWidget* parent = nullptr);
    void lock(const QString& who, int idleMinutes);
    void showRefusal(const QString& text);
    QLabel* statement() const { return statement_; }
    QLabel* refusal() const { return refusal_; }
    QLineEdit* passwordField() const { return password_; }
    QPushButton* unlockButton() const { return unlock_; }

signals:
    void unlockAsked();

private:
    QLabel* statement_;
    QLineEdit* password_;
    QPushButton* unlock_;
    QLabel* refusal_;
};

QString minutesText(int minutes); // "1 minute", "15 minutes"

// The password typed on the lock page, handed over once and cleared from the field.
class LockPagePrompt : public PasswordPrompt {
public:
    explicit LockPagePrompt(LockPage& page) : page_(page) {}
    Outcome<QByteArray> password(const SigningRequest& request) override;

private:
    LockPage& page_;
};

} // namespace qvr::dose
