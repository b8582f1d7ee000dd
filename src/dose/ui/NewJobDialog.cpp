#include "dose/ui/NewJobDialog.h"

#include "dose/core/Canonical.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

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

NewJobDialog::NewJobDialog(std::vector<MappingStudyRecords> studies, QWidget* parent)
    : QDialog(parent), studies_(std::move(studies)) {
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
    study_ = new QComboBox(this);
    study_->setObjectName(QStringLiteral("study"));
    study_->addItem(QStringLiteral("none: an ordinary job with its own limits"));
    for (const MappingStudyRecords& r : studies_)
        study_->addItem(
            QStringLiteral("%1: %2, %3 to %4 kGy")
                .arg(r.study.id, r.study.product.isEmpty() ? QStringLiteral("-") : r.study.product,
                     numberText(r.study.minRequiredKGy), numberText(r.study.maxAcceptableKGy)));
    position_ = new QComboBox(this);
    position_->setObjectName(QStringLiteral("position"));
    processValue_ = new QLineEdit(this);
    processValue_->setObjectName(QStringLiteral("processValue"));
    processUnit_ = new QComboBox(this);
    processUnit_->setObjectName(QStringLiteral("processUnit"));
    processUnit_->addItems({QStringLiteral("min"), QStringLiteral("m/min")});
    auto* process = new QHBoxLayout;
    process->addWidget(processValue_, 1);
    process->addWidget(processUnit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Id"), id_);
    form->addRow(QStringLiteral("R&outine study"), study_);
    form->addRow(QStringLiteral("Mo&nitoring position"), position_);
    // A row of several widgets has no buddy of its own: the label names the value.
    auto* processLabel = new QLabel(QStringLiteral("Pro&cess"), this);
    processLabel->setBuddy(processValue_);
    form->addRow(processLabel, process);
    form->addRow(QStringLiteral("&Product"), product_);
    form->addRow(QStringLiteral("D&min"), dmin_);
    form->addRow(QStringLiteral("D&max"), dmax_);
    form->addRow(QStringLiteral("Decision &rule"), rule_);
    form->addRow(QStringLiteral("&Wavelengths"), wavelengths_);
    form->addRow(training_);
    form->addRow(buttons);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    connect(id_, &QLineEdit::textChanged, this, &NewJobDialog::updateOk);
    connect(processValue_, &QLineEdit::textChanged, this, &NewJobDialog::updateOk);
    connect(study_, &QComboBox::currentIndexChanged, this, &NewJobDialog::chooseStudy);
    chooseStudy(0);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool NewJobDialog::routine() const {
    return study_->currentIndex() > 0;
}

// A routine job takes the study's limits and product, and the study's process as mapped.
void NewJobDialog::chooseStudy(int index) {
    const bool routine = index > 0;
    position_->clear();
    processValue_->clear();
    if (routine) {
        const MappingStudyRecords& r = studies_[static_cast<size_t>(index - 1)];
        for (const MappingPosition& p : r.positions)
            if (p.monitoring)
                position_->addItem(p.id);
        processValue_->setText(numberText(r.study.processValue));
        processUnit_->setCurrentText(r.study.processUnit);
        product_->setText(r.study.product);
        dmin_->setValue(0);
        dmax_->setValue(0);
    }
    for (QWidget* w : {static_cast<QWidget*>(position_), static_cast<QWidget*>(processValue_),
                       static_cast<QWidget*>(processUnit_)})
        w->setEnabled(routine);
    dmin_->setEnabled(!routine);
    dmax_->setEnabled(!routine);
    updateOk();
}

void NewJobDialog::updateOk() {
    bool ok = !id_->text().trimmed().isEmpty();
    if (routine()) {
        bool number = false;
        const double v = processValue_->text().trimmed().toDouble(&number);
        ok = ok && number && std::isfinite(v) && position_->count() > 0;
    }
    findChild<QPushButton*>(QStringLiteral("ok"))->setEnabled(ok);
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
    if (routine()) {
        j.studyId = studies_[static_cast<size_t>(study_->currentIndex() - 1)].study.id;
        j.monitoringPosition = position_->currentText();
        j.processValue = processValue_->text().trimmed().toDouble();
        j.processUnit = processUnit_->currentText();
        j.dminKGy.reset();
        j.dmaxKGy.reset();
    }
    return j;
}

} // namespace qvr::dose
