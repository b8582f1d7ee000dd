#pragma once
// A calibration: its points and fitted curve, the % residuals, the fit table with CV per dose
// level; fitting with a chosen model; importing a CSV by file dialog or drag and drop; new
// versions of the calibration and its batch; the coverage check of its fit.

#include "dose/ui/CalibrationImportDialog.h"
#include "dose/usecases/CaptureSession.h"
#include "dose/usecases/Signer.h"

#include <QWidget>

class QChart;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QThread;
class QTableWidget;

namespace qvr::dose {

class CalibrationView : public QWidget {
    Q_OBJECT
public:
    // Imports and fits are done as operatorName, an accepted fit signed through signer (none:
    // nothing is fitted); now tells today's date.
    CalibrationView(Store& store, const CaptureSession& session, Signer* signer,
                    QString operatorName, Now now, QWidget* parent = nullptr);
    ~CalibrationView() override;

    void reload(qint64 select = 0);
    qint64 current() const;
    // Imports file for the chosen batch at the reader's head and wavelength; gives the new id.
    Outcome<qint64> importCsv(const QString& path, const CalibrationDetails& details = {});
    Outcome<QString> fit(); // with the chosen model
    // By the import dialog, after a file dialog when no path is given.
    void askImport(QString path = QString());
    void askBatch();                        // by the batch dialog
    Outcome<QString> addBatch(Batch batch); // as the operator; gives its id
    QTableWidget* fitTable() const { return fitTable_; }

    // A new version of the shown calibration, or of the chosen batch (by their dialogs).
    void askAmendCalibration();
    void askAmendBatch();
    Outcome<int> amend(Amendment amendment); // as the operator; gives the version made

    // The coverage check of the shown calibration's latest fit, run off this thread so that
    // the window stays usable; coverageChecked() tells when its table is filled.
    Outcome<Done> checkCoverage(int trials, quint64 seed);
    QTableWidget* coverageTable() const { return coverageTable_; }

signals:
    void changed();
    void coverageChecked();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void show(qint64 id);
    void showCoverage(const CoverageCheckPlan& plan, int trials, quint64 seed,
                      const CoverageReport& report);

    Store& store_;
    const CaptureSession& session_;
    Signer* signer_;
    QString operator_;
    Now now_;
    QComboBox* calibration_;
    QComboBox* batch_;
    QComboBox* model_;
    QChart* curve_;
    QChart* residuals_;
    QTableWidget* fitTable_;
    QTableWidget* coverageTable_;
    QSpinBox* trials_;
    QSpinBox* seed_;
    QPushButton* checkButton_;
    QThread* worker_ = nullptr; // the coverage check running, if one is
    QLabel* status_;
};

} // namespace qvr::dose
