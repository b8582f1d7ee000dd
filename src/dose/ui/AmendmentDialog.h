#pragma once
// A new version of a calibration (its certificate, its validity) or of a film batch (a
// background measured again, its uncertainty), with the reason it is made.

#include "dose/core/Amendment.h"

#include <QDialog>
#include <map>

class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;
class QLineEdit;
class QPlainTextEdit;

namespace qvr::dose {

class AmendmentDialog : public QDialog {
    Q_OBJECT
public:
    // Of calibration id, or of batch id; shows what the subject has now.
    AmendmentDialog(const Calibration& calibration, const QDate& today, QWidget* parent = nullptr);
    AmendmentDialog(const Batch& batch, QWidget* parent = nullptr);
    Amendment amendment() const; // without operator and time

private:
    void finish();

    Amendment base_;
    QLineEdit* certificate_ = nullptr;
    QCheckBox* validity_ = nullptr;
    QDateEdit* validUntil_ = nullptr;
    std::map<int, QDoubleSpinBox*> background_;
    std::map<int, QDoubleSpinBox*> uBackground_;
    std::map<int, double> was_; // the batch's backgrounds as shown: unchanged ones are not given
    std::map<int, double> uWas_;
    QPlainTextEdit* reason_ = nullptr;
};

} // namespace qvr::dose
