#pragma once
// A calibration: its points and fitted curve, the % residuals, the fit table with CV per dose
// level; fitting with a chosen model; importing a CSV by file dialog or drag and drop.

#include "dose/ui/CalibrationImportDialog.h"
#include "dose/usecases/CaptureSession.h"

#include <QWidget>

class QChart;
class QComboBox;
class QLabel;
class QTableWidget;

namespace qvr::dose {

class CalibrationView : public QWidget {
    Q_OBJECT
public:
    // Imports and fits are done as operatorName; now tells today's date.
    CalibrationView(Store& store, const CaptureSession& session, QString operatorName, Now now,
                    QWidget* parent = nullptr);

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

signals:
    void changed();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void show(qint64 id);

    Store& store_;
    const CaptureSession& session_;
    QString operator_;
    Now now_;
    QComboBox* calibration_;
    QComboBox* batch_;
    QComboBox* model_;
    QChart* curve_;
    QChart* residuals_;
    QTableWidget* fitTable_;
    QLabel* status_;
};

} // namespace qvr::dose
