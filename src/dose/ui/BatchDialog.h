#pragma once
// A new film batch: its id, nominal thickness with its uncertainty, the background absorbance
// A0 of unirradiated film at each of the reader's wavelengths with its standard uncertainty,
// and its expiry date.

#include "dose/core/Batch.h"

#include <QDialog>

class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;
class QLineEdit;

namespace qvr::dose {

class BatchDialog : public QDialog {
    Q_OBJECT
public:
    BatchDialog(const QDate& today, QWidget* parent = nullptr);
    Batch batch() const; // without operator and time

private:
    QLineEdit* id_;
    QLineEdit* description_;
    QDoubleSpinBox* thickness_;
    QDoubleSpinBox* uThickness_;
    std::map<int, QDoubleSpinBox*> background_;
    std::map<int, QDoubleSpinBox*> uBackground_;
    QCheckBox* expiring_;
    QDateEdit* expires_;
};

} // namespace qvr::dose
