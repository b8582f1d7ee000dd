#include "dose/ui/RolesDialog.h"

#include "dose/core/Canonical.h"
#include "dose/ui/Sentence.h"
#include "dose/ui/Tones.h"
#include "dose/usecases/RoleGate.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qvr::dose {

RolesDialog::RolesDialog(Store& store, QString administrator, QWidget* parent)
    : QDialog(parent), store_(store), administrator_(std::move(administrator)) {
    setWindowTitle(QStringLiteral("Roles"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, 4, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Account"), QStringLiteral("Role"),
                                       QStringLiteral("Granted by"), QStringLiteral("Since")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->verticalHeader()->hide();
    // Wide enough for an account, a role and two full timestamps without scrolling.
    table_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 78);
    layout->addWidget(table_, 1);
    auto* form = new QFormLayout;
    account_ = new QLineEdit(this);
    role_ = new QComboBox(this);
    for (Role r : kAllRoles)
        role_->addItem(roleName(r));
    reason_ = new QLineEdit(this);
    form->addRow(QStringLiteral("&Account:"), account_);
    form->addRow(QStringLiteral("R&ole:"), role_);
    form->addRow(QStringLiteral("R&eason:"), reason_);
    layout->addLayout(form);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* grant = buttons->addButton(QStringLiteral("&Grant"), QDialogButtonBox::ActionRole);
    QPushButton* withdraw =
        buttons->addButton(QStringLiteral("&Withdraw"), QDialogButtonBox::ActionRole);
    grant->setObjectName(QStringLiteral("grant"));
    withdraw->setObjectName(QStringLiteral("withdraw"));
    connect(grant, &QPushButton::clicked, this, [this] { change(true); });
    connect(withdraw, &QPushButton::clicked, this, [this] { change(false); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    reload();
}

void RolesDialog::reload() {
    table_->setRowCount(0);
    auto roles = store_.roles();
    if (!roles) {
        status_->setText(sentence(roles.error()));
        paintTone(status_, Tone::Bad);
        return;
    }
    for (const auto& [account, held] : *roles)
        for (const RoleHeld& h : held) {
            const int row = table_->rowCount();
            table_->insertRow(row);
            const QString cells[] = {account, roleName(h.role), h.by, timeText(h.since)};
            for (int c = 0; c < 4; ++c)
                table_->setItem(row, c, new QTableWidgetItem(cells[c]));
        }
}

Outcome<QString> RolesDialog::change(bool grant) {
    const QString account = account_->text().trimmed(), role = role_->currentText();
    auto changed =
        changeRole(store_, administrator_, account, role, grant, reason_->text().trimmed());
    if (!changed) {
        status_->setText(refusalSentence(QStringLiteral("Not done"), changed.error()));
        paintTone(status_, Tone::Bad);
        return Failure{changed.error()};
    }
    const QString text = roleChangeText(account, role, grant);
    status_->setText(sentence(QStringLiteral("%1; chain head %2").arg(text, changed->hash)));
    paintTone(status_, Tone::Good);
    reload();
    return text;
}

} // namespace qvr::dose
