#pragma once
// A new job: id, product, dose limits, the decision rule, one wavelength or both, and whether it
// is a training run; or a routine job under an approved mapping study, at one of its monitoring
// positions, with the process parameter it ran with (the study's, filled in). The store checks
// the routine choice as it does the command line's.

#include "dose/core/Job.h"
#include "dose/core/MappingApproval.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;

namespace qvr::dose {

class NewJobDialog : public QDialog {
    Q_OBJECT
public:
    // studies: those a routine job may name, each with its positions.
    explicit NewJobDialog(std::vector<MappingStudyRecords> studies = {}, QWidget* parent = nullptr);
    Job job() const; // without operator and time

private:
    void chooseStudy(int index);
    void updateOk();
    bool routine() const;

    std::vector<MappingStudyRecords> studies_;
    QLineEdit* id_;
    QLineEdit* product_;
    QDoubleSpinBox* dmin_;
    QDoubleSpinBox* dmax_;
    QComboBox* rule_;
    QComboBox* wavelengths_;
    QCheckBox* training_;
    QComboBox* study_;
    QComboBox* position_;
    QLineEdit* processValue_;
    QComboBox* processUnit_;
};

} // namespace qvr::dose
