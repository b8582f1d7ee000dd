#pragma once
// Checking the reader with certified neutral density filters: the certificate's values per
// wavelength, the results of the reader's own filter check as they come, and the pass/fail
// record.

#include "dose/core/FilterCheckWatch.h"
#include "dose/usecases/CaptureSession.h"
#include "dose/usecases/Signer.h"

#include <QWidget>

#include <optional>

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace qvr::dose {

class ReaderCheckView : public QWidget {
    Q_OBJECT
public:
    // A check is recorded signed through signer; none, and none is recorded.
    ReaderCheckView(Store& store, CaptureSession& session, Signer* signer, QString settingsFile,
                    QWidget* parent = nullptr);

    FilterSet filterSet() const;
    void setFilterSet(const FilterSet& set); // and keeps it in the settings
    // Compares what the check gave with the certificate and records the result.
    Outcome<ReaderCheck> record();
    QTableWidget* results() const { return results_; }
    QLabel* statusLine() const { return status_; }

signals:
    void checkRecorded(const qvr::dose::ReaderCheck& check);

private:
    void observe();
    void saveSet();

    Store& store_;
    CaptureSession& session_;
    Signer* signer_;
    QString settingsFile_;
    FilterCheckWatch watch_;
    bool inCheck_ = false;                  // the status line says the reader is in its check
    std::optional<qint64> recordedInCheck_; // the check recorded while the reader's check runs
    QLineEdit* certificate_;
    QDoubleSpinBox* tolerance_;
    QTableWidget* certified_;
    QTableWidget* results_;
    QLabel* status_;
};

} // namespace qvr::dose
