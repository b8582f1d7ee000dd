#include "dose/ui/BatchDialog.h"

#include "dose/core/Quantity.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qvr::dose {

namespace {

// The reader's two wavelengths.
constexpr int kWavelengths[] = {510, 600};

QDoubleSpinBox* number(const Quantity& q, int decimals, const QString& suffix, QWidget* parent) {
    auto* s = new QDoubleSpinBox(parent);
    s->setRange(q.lo, q.hi);
    s->setDecimals(decimals);
    s->setSuffix(suffix);
    return s;
}

} // namespace

BatchDialog::BatchDialog(const QDate& today, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Add film batch"));
    id_ = new QLineEdit(this);
    id_->setObjectName(QStringLiteral("batchId"));
    description_ = new QLineEdit(this);
    thickness_ = number(kThicknessUm, 1, QStringLiteral(" µm"), this);
    thickness_->setValue(50);
    uThickness_ = number(kUThicknessUm, 2, QStringLiteral(" µm"), this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Id"), id_);
    form->addRow(QStringLiteral("&Description"), description_);
    form->addRow(QStringLiteral("Nominal &thickness"), thickness_);
    form->addRow(QStringLiteral("Its &uncertainty (k = 1)"), uThickness_);
    for (int nm : kWavelengths) {
        // 0 is "none": a batch may lack one wavelength's background.
        auto* a0 = number(kAbsorbance, 3, QString(), this);
        a0->setSpecialValueText(QStringLiteral("none"));
        background_[nm] = a0;
        auto* u = number(kUAbsorbance, 4, QString(), this);
        u->setSingleStep(0.001);
        uBackground_[nm] = u;
        auto* row = new QHBoxLayout;
        row->addWidget(a0, 1);
        row->addWidget(new QLabel(QStringLiteral("± (k = 1)"), this));
        row->addWidget(u, 1);
        form->addRow(QStringLiteral("Background A0 at %1 nm").arg(nm), row);
    }
    expiring_ = new QCheckBox(QStringLiteral("&expires"), this);
    expiring_->setChecked(true);
    expires_ = new QDateEdit(today.addYears(1), this);
    expires_->setCalendarPopup(true);
    expires_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    expires_->setMinimumDate(today);
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(expiring_);
    dateRow->addWidget(expires_, 1);
    form->addRow(QStringLiteral("Expiry"), dateRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    auto* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(id_, &QLineEdit::textChanged, ok,
            [ok](const QString& t) { ok->setEnabled(!t.trimmed().isEmpty()); });
    connect(expiring_, &QCheckBox::toggled, expires_, &QWidget::setEnabled);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

Batch BatchDialog::batch() const {
    Batch b;
    b.id = id_->text().trimmed();
    b.description = description_->text().trimmed();
    b.thicknessUm = thickness_->value();
    b.uThicknessUm = uThickness_->value();
    for (const auto& [nm, box] : background_)
        if (box->value() > 0) {
            b.background[nm] = box->value();
            // Kept only where stated: 0 is "not stated", as in a batch added without it.
            if (const double u = uBackground_.at(nm)->value(); u > 0)
                b.uBackground[nm] = u;
        }
    if (expiring_->isChecked())
        b.expires = expires_->date();
    return b;
}

} // namespace qvr::dose
