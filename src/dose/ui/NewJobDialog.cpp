#include "dose/ui/NewJobDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace qvr::dose {

namespace {

QDoubleSpinBox* limit(QWidget* parent) {
    auto* s = new QDoubleSpinBox(parent);
    s->setRange(0, 1000);
    s->setDecimals(2);
    s->setSuffix(QStringLiteral(" kGy"));
    s->setSpecialValueText(QStringLiteral("none"));
    return s;
}

} // namespace

NewJobDialog::NewJobDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("New job"));
    id_ = new QLineEdit(this);
    id_->setObjectName(QStringLiteral("jobId"));
    product_ = new QLineEdit(this);
    dmin_ = limit(this);
    dmax_ = limit(this);
    rule_ = new QComboBox(this);
    rule_->setObjectName(QStringLiteral("rule"));
    rule_->addItem(QStringLiteral("guarded: D ± U must lie within the limits"),
                   static_cast<int>(DecisionRule::Guarded));
    rule_->addItem(QStringLiteral("simple: D alone against the limits (U stated only)"),
                   static_cast<int>(DecisionRule::Simple));
    wavelengths_ = new QComboBox(this);
    wavelengths_->setObjectName(QStringLiteral("wavelengths"));
    wavelengths_->addItem(QStringLiteral("one: the reader's wavelength"), false);
    wavelengths_->addItem(
        QStringLiteral("both: each film at both wavelengths, the two doses must agree"), true);
    training_ =
        new QCheckBox(QStringLiteral("&Training (simulated reader allowed, never approved)"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Id"), id_);
    form->addRow(QStringLiteral("&Product"), product_);
    form->addRow(QStringLiteral("D&min"), dmin_);
    form->addRow(QStringLiteral("D&max"), dmax_);
    form->addRow(QStringLiteral("Decision &rule"), rule_);
    form->addRow(QStringLiteral("&Wavelengths"), wavelengths_);
    form->addRow(training_);
    form->addRow(buttons);
    auto* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(id_, &QLineEdit::textChanged, ok,
            [ok](const QString& t) { ok->setEnabled(!t.trimmed().isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

Job NewJobDialog::job() const {
    Job j;
    j.id = id_->text().trimmed();
    j.product = product_->text().trimmed();
    if (dmin_->value() > 0)
        j.dminKGy = dmin_->value();
    if (dmax_->value() > 0)
        j.dmaxKGy = dmax_->value();
    j.rule = static_cast<DecisionRule>(rule_->currentData().toInt());
    j.training = training_->isChecked();
    j.bothWavelengths = wavelengths_->currentData().toBool();
    return j;
}

} // namespace qvr::dose
