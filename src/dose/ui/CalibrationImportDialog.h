#pragma once
// What a calibration's import takes besides its file: the irradiation certificate, how long the
// calibration is valid, the reference doses' uncertainty when the file has none and the reading
// window after irradiation. Without a certificate and a validity it serves training only.

#include <QDate>
#include <QDialog>
#include <optional>

class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;

namespace qvr::dose {

struct CalibrationDetails {
    QString certificate;
    QDate validUntil; // invalid: none
    std::optional<double> uDosePercent;
    std::optional<double> windowMinHours;
    std::optional<double> windowMaxHours;
    bool trainingOnly() const { return certificate.trimmed().isEmpty() || !validUntil.isValid(); }
};

// The sentence the window says of a calibration that serves training only, or nothing.
QString trainingOnlyNote(const CalibrationDetails& details);

class CalibrationImportDialog : public QDialog {
    Q_OBJECT
public:
    CalibrationImportDialog(const QString& file, const QDate& today, QWidget* parent = nullptr);
    QString file() const;
    CalibrationDetails details() const;

private:
    void update();

    QLineEdit* file_;
    QLineEdit* certificate_;
    QCheckBox* dated_;
    QDateEdit* validUntil_;
    QDoubleSpinBox* uDose_;
    QDoubleSpinBox* windowMin_;
    QDoubleSpinBox* windowMax_;
    QLabel* note_;
};

} // namespace qvr::dose
