#pragma once
// A new job: id, product, dose limits, the decision rule, one wavelength or both, and whether it
// is a training run.

#include "dose/core/Job.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;

namespace qvr::dose {

class NewJobDialog : public QDialog {
    Q_OBJECT
public:
    explicit NewJobDialog(QWidget* parent = nullptr);
    Job job() const; // without operator and time

private:
    QLineEdit* id_;
    QLineEdit* product_;
    QDoubleSpinBox* dmin_;
    QDoubleSpinBox* dmax_;
    QComboBox* rule_;
    QComboBox* wavelengths_;
    QCheckBox* training_;
};

} // namespace qvr::dose
