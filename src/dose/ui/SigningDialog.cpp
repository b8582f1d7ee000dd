#include "dose/ui/SigningDialog.h"

#include "dose/core/Signature.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qvr::dose {

SigningDialog::SigningDialog(const SigningRequest& request, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sign: %1").arg(request.act));
    const QString who = signerText(request.name, request.account);
    statement_ = new QLabel(
        QStringLiteral("To %1, sign as %2.\nYour signature means \"%3\"; it is kept with the "
                       "record, with your name and the time.")
            .arg(request.act, who, request.meaning),
        this);
    statement_->setWordWrap(true);
    // Wide enough for the act in the title and the statement on a few lines.
    statement_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 56);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Sign"));
    auto* form = new QFormLayout(this);
    form->addRow(statement_);
    form->addRow(QStringLiteral("Account"), new QLabel(request.account, this));
    form->addRow(QStringLiteral("&Password"), password_);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    password_->setFocus();
}

QByteArray SigningDialog::takePassword() {
    QByteArray typed = password_->text().toUtf8();
    password_->clear();
    return typed;
}

Outcome<QByteArray> DialogPrompt::password(const SigningRequest& request) {
    SigningDialog dialog(request, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return Failure{QStringLiteral("not signed: the signature was cancelled")};
    return dialog.takePassword();
}

} // namespace qvr::dose
