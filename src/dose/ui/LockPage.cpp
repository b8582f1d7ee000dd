#include "dose/ui/LockPage.h"

#include "dose/ui/Tones.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qvr::dose {

LockPage::LockPage(QWidget* parent) : QWidget(parent) {
    statement_ = new QLabel(this);
    statement_->setWordWrap(true);
    statement_->setAlignment(Qt::AlignCenter);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("unlockPassword"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaximumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 32);
    unlock_ = new QPushButton(QStringLiteral("&Unlock"), this);
    refusal_ = new QLabel(this);
    refusal_->setWordWrap(true);
    refusal_->setAlignment(Qt::AlignCenter);
    paintTone(refusal_, Tone::Bad);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(statement_);
    layout->addWidget(password_, 0, Qt::AlignHCenter);
    layout->addWidget(unlock_, 0, Qt::AlignHCenter);
    layout->addWidget(refusal_);
    layout->addStretch(2);
    connect(unlock_, &QPushButton::clicked, this, &LockPage::unlockAsked);
    connect(password_, &QLineEdit::returnPressed, this, &LockPage::unlockAsked);
}

QString minutesText(int minutes) {
    return minutes == 1 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(minutes);
}

void LockPage::lock(const QString& who, int idleMinutes) {
    statement_->setText(QStringLiteral("Locked after %1 without use.\nOnly %2 can open it again, "
                                       "with their password.")
                            .arg(minutesText(idleMinutes), who));
    password_->clear();
    showRefusal(QString());
}

void LockPage::showRefusal(const QString& text) {
    refusal_->setText(text);
    refusal_->setVisible(!text.isEmpty());
    password_->setFocus();
}

Outcome<QByteArray> LockPagePrompt::password(const SigningRequest&) {
    QByteArray typed = page_.passwordField()->text().toUtf8();
    page_.passwordField()->clear();
    if (typed.isEmpty())
        return Failure{QStringLiteral("type the password first")};
    return typed;
}

} // namespace qvr::dose
