#include "dose/ui/AmendmentDialog.h"

#include "dose/core/Batch.h"
#include "dose/core/Calibration.h"
#include "dose/core/Quantity.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace qvr::dose {

namespace {

constexpr int kWavelengths[] = {510, 600};

QDoubleSpinBox* number(const Quantity& q, int decimals, double value, QWidget* parent) {
    auto* s = new QDoubleSpinBox(parent);
    s->setRange(q.lo, q.hi);
    s->setDecimals(decimals);
    s->setSingleStep(0.001);
    s->setValue(value);
    return s;
}

} // namespace

AmendmentDialog::AmendmentDialog(const Calibration& c, const QDate& today, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("New version of calibration %1").arg(c.id));
    base_.subject = kCalibrationSubject;
    base_.subjectId = QString::number(c.id);
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(QStringLiteral("Calibration %1 is at version %2. What you add makes "
                                           "version %3; the earlier one stays, with the reads "
                                           "made with it.")
                                .arg(c.id)
                                .arg(c.version)
                                .arg(c.version + 1),
                            this));
    certificate_ = new QLineEdit(c.certificate, this);
    certificate_->setObjectName(QStringLiteral("certificate"));
    form->addRow(QStringLiteral("&Certificate"), certificate_);
    validity_ = new QCheckBox(QStringLiteral("&valid until"), this);
    validity_->setChecked(c.validUntil.isValid());
    validUntil_ = new QDateEdit(c.validUntil.isValid() ? c.validUntil : today.addYears(1), this);
    validUntil_->setObjectName(QStringLiteral("validUntil"));
    validUntil_->setCalendarPopup(true);
    validUntil_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    validUntil_->setMinimumDate(today);
    validUntil_->setEnabled(validity_->isChecked());
    connect(validity_, &QCheckBox::toggled, validUntil_, &QWidget::setEnabled);
    auto* row = new QHBoxLayout;
    row->addWidget(validity_);
    row->addWidget(validUntil_, 1);
    form->addRow(QStringLiteral("Validity"), row);
    base_.certificate = c.certificate;
    base_.validUntil = c.validUntil;
    reason_ = new QPlainTextEdit(this);
    form->addRow(QStringLiteral("&Reason"), reason_);
    finish();
}

AmendmentDialog::AmendmentDialog(const Batch& b, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("New version of batch %1").arg(b.id));
    base_.subject = kBatchSubject;
    base_.subjectId = b.id;
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(QStringLiteral("Batch %1 is at version %2. What you change makes "
                                           "version %3; reads made before keep the background "
                                           "they used.")
                                .arg(b.id)
                                .arg(b.version)
                                .arg(b.version + 1),
                            this));
    for (int nm : kWavelengths) {
        auto* a0 = number(kAbsorbance, 3, b.a0(nm).value_or(0), this);
        a0->setSpecialValueText(QStringLiteral("none"));
        a0->setObjectName(QStringLiteral("background%1").arg(nm));
        auto* u = number(kUAbsorbance, 4, b.uA0(nm), this);
        u->setObjectName(QStringLiteral("uBackground%1").arg(nm));
        background_[nm] = a0;
        uBackground_[nm] = u;
        // As shown, rounded to the box's decimals: a value left alone is not a change.
        if (b.a0(nm))
            was_[nm] = a0->value();
        if (b.uBackground.count(nm))
            uWas_[nm] = u->value();
        auto* row = new QHBoxLayout;
        row->addWidget(a0, 1);
        row->addWidget(new QLabel(QStringLiteral("± (k = 1)"), this));
        row->addWidget(u, 1);
        form->addRow(QStringLiteral("Background A0 at %1 nm").arg(nm), row);
    }
    reason_ = new QPlainTextEdit(this);
    form->addRow(QStringLiteral("&Reason"), reason_);
    finish();
}

void AmendmentDialog::finish() {
    reason_->setObjectName(QStringLiteral("reason"));
    reason_->setPlaceholderText(QStringLiteral("why it is added now"));
    reason_->setMaximumHeight(80);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    static_cast<QFormLayout*>(layout())->addRow(buttons);
    auto* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(reason_, &QPlainTextEdit::textChanged, ok,
            [this, ok] { ok->setEnabled(!reason_->toPlainText().trimmed().isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

Amendment AmendmentDialog::amendment() const {
    Amendment a;
    a.subject = base_.subject;
    a.subjectId = base_.subjectId;
    a.reason = reason_->toPlainText().trimmed();
    if (certificate_) {
        // Only what changed is part of the new version.
        if (const QString c = certificate_->text().trimmed(); c != base_.certificate)
            a.certificate = c;
        if (validity_->isChecked() && validUntil_->date() != base_.validUntil)
            a.validUntil = validUntil_->date();
        return a;
    }
    for (const auto& [nm, box] : background_) {
        const double a0 = box->value(), u = uBackground_.at(nm)->value();
        if (!(a0 > 0))
            continue;
        const auto was = was_.find(nm);
        if (was == was_.end() || was->second != a0)
            a.background[nm] = a0;
        const auto uWas = uWas_.find(nm);
        if (u > 0 && (a.background.count(nm) || uWas == uWas_.end() || uWas->second != u))
            a.uBackground[nm] = u;
    }
    return a;
}

} // namespace qvr::dose
