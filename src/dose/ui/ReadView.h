#pragma once
// Reading a job: the job and calibration, the next dosimeter's id and thickness, the capture
// rule, and the job's reads and summary as they come in. Or reading a mapping run's dosimeter at
// one of its study's positions, through the use case the command line's read --run uses.

#include "dose/usecases/CaptureSession.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace qvr::dose {

class ReadView : public QWidget {
    Q_OBJECT
public:
    ReadView(Store& store, CaptureSession& session, QWidget* parent = nullptr);

    // Refills the job and calibration lists, keeping (or choosing) the given ones.
    void reloadChoices(const QString& jobId, qint64 calibrationId);
    QString jobId() const;
    qint64 calibrationId() const;
    void focusDosimeter();
    void showReads();                     // the job's reads and summary from the store
    void setWarning(const QString& text); // above the capture; hidden when empty
    QLabel* warning() const { return warning_; }

    QTableWidget* readsTable() const { return reads_; }
    QTableWidget* summaryTable() const { return summary_; }
    QLabel* hint() const { return hint_; }
    QLabel* decision() const { return decision_; }

    // The capture action: a job's capture, or the mapping read when a run is chosen.
    void capture();
    bool readingRun() const;
    // Chooses to read for runId at position (an empty runId: for the job again).
    void chooseRun(const QString& runId, const QString& position = {});

signals:
    void choiceChanged(); // job or calibration

private:
    void choose();
    void updateDosimeter();
    void updateRule();
    void updateHint();
    void onCaptured(const Record& record);
    void reloadRuns();
    void reloadPositions();
    void readPosition();

    Store& store_;
    CaptureSession& session_;
    QComboBox* job_;
    QComboBox* run_;      // a mapping run instead of the job
    QComboBox* position_; // of the run's study
    QComboBox* calibration_;
    QLabel* batch_;
    QLineEdit* dosimeter_;
    QDoubleSpinBox* thickness_;
    QCheckBox* thicknessConfirmed_; // a gauge reading far from the nominal is meant
    QCheckBox* automatic_;
    QSpinBox* count_;
    QDoubleSpinBox* band_;
    QPushButton* capture_;
    QLabel* hint_;
    QLabel* warning_;
    QTableWidget* reads_;
    QTableWidget* summary_;
    QLabel* decision_;
    std::vector<QWidget*> jobParts_; // the job's reads and summary, hidden while a run is read
    QString lastRefusal_;
    QString lastRead_; // what the last mapping read stored
    bool lastReadCounts_ = false;
};

} // namespace qvr::dose
