#include "dose/ui/CalibrationImportDialog.h"

#include "dose/ui/Tones.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qvr::dose {

namespace {

// 0 shows as "none": an optional number.
QDoubleSpinBox* optionalNumber(double hi, int decimals, const QString& suffix, QWidget* parent) {
    auto* s = new QDoubleSpinBox(parent);
    s->setRange(0, hi);
    s->setDecimals(decimals);
    s->setSuffix(suffix);
    s->setSpecialValueText(QStringLiteral("none"));
    return s;
}

std::optional<double> valueOf(const QDoubleSpinBox* s) {
    return s->value() > 0 ? std::optional<double>(s->value()) : std::nullopt;
}

} // namespace

QString trainingOnlyNote(const CalibrationDetails& details) {
    if (!details.trainingOnly())
        return {};
    return QStringLiteral("Without a certificate and a valid-until date the calibration is not "
                          "traceable: it will serve training jobs only.");
}

CalibrationImportDialog::CalibrationImportDialog(const QString& file, const QDate& today,
                                                 QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Import calibration"));
    file_ = new QLineEdit(file, this);
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse);
    certificate_ = new QLineEdit(this);
    certificate_->setObjectName(QStringLiteral("certificate"));
    certificate_->setPlaceholderText(QStringLiteral("the irradiation certificate's reference"));
    // Unticked until someone states the validity: a date nobody typed is no validity.
    dated_ = new QCheckBox(QStringLiteral("&valid until"), this);
    dated_->setObjectName(QStringLiteral("dated"));
    validUntil_ = new QDateEdit(today.addYears(1), this);
    validUntil_->setCalendarPopup(true);
    validUntil_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    validUntil_->setMinimumDate(today);
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(dated_);
    dateRow->addWidget(validUntil_, 1);
    uDose_ = optionalNumber(50, 2, QStringLiteral(" %"), this);
    uDose_->setSpecialValueText(QStringLiteral("from the file"));
    windowMin_ = optionalNumber(10000, 1, QStringLiteral(" h"), this);
    windowMax_ = optionalNumber(10000, 1, QStringLiteral(" h"), this);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("note"));
    note_->setWordWrap(true);
    note_->setMargin(4);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    auto* fileLabel = new QLabel(QStringLiteral("CSV &file"), this);
    fileLabel->setBuddy(file_);
    form->addRow(fileLabel, fileRow);
    form->addRow(QStringLiteral("&Certificate"), certificate_);
    form->addRow(QStringLiteral("Validity"), dateRow);
    form->addRow(QStringLiteral("Reference dose &uncertainty (k = 1)"), uDose_);
    form->addRow(QStringLiteral("Read from (hours after irradiation)"), windowMin_);
    form->addRow(QStringLiteral("Read until (hours after irradiation)"), windowMax_);
    form->addRow(note_);
    form->addRow(buttons);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, QStringLiteral("Calibration CSV"), file_->text(),
                                         QStringLiteral("CSV files (*.csv)"));
        if (!path.isEmpty())
            file_->setText(path);
    });
    connect(certificate_, &QLineEdit::textChanged, this, &CalibrationImportDialog::update);
    connect(dated_, &QCheckBox::toggled, this, &CalibrationImportDialog::update);
    connect(file_, &QLineEdit::textChanged, this, &CalibrationImportDialog::update);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    update();
}

void CalibrationImportDialog::update() {
    validUntil_->setEnabled(dated_->isChecked());
    const QString note = trainingOnlyNote(details());
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
    paintTone(note_, Tone::Caution);
    if (auto* buttons = findChild<QDialogButtonBox*>())
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!file_->text().trimmed().isEmpty());
}

QString CalibrationImportDialog::file() const {
    return file_->text().trimmed();
}

CalibrationDetails CalibrationImportDialog::details() const {
    CalibrationDetails d;
    d.certificate = certificate_->text().trimmed();
    if (dated_->isChecked())
        d.validUntil = validUntil_->date();
    d.uDosePercent = valueOf(uDose_);
    d.windowMinHours = valueOf(windowMin_);
    d.windowMaxHours = valueOf(windowMax_);
    return d;
}

} // namespace qvr::dose
