#pragma once
// A dose-mapping study: its facts and approval (or what blocks it), the heat map of each layer
// for the mean over the runs or one run, the results of each run and the ratios to each
// monitoring position. Studies, positions and runs are added on the command line; here a run's
// doses read elsewhere are imported, a second login approves the study, and its PDF is written.

#include "dose/store/Store.h"
#include "dose/usecases/Signer.h"
#include "dose/usecases/StudyReport.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace qvr::dose {

class HeatMapWidget;

class MappingView : public QWidget {
    Q_OBJECT
public:
    // signer: who approves studies; none, and the view cannot approve.
    MappingView(Store& store, Signer* signer, QString operatorName, Now now,
                QWidget* parent = nullptr);

    // Reads the studies again, keeping the one shown when it is still there.
    void reload();
    void showStudy(const QString& studyId);
    void showRun(const QString& runId); // empty: the mean over the runs
    QString studyId() const;
    QString runId() const;
    // Writes the study's PDF; says what happened, or why nothing did.
    Outcome<QString> writeReport(const QString& path);
    void askReport();
    // What the command line's mapping import and mapping approve do, as the window's login.
    Outcome<QString> importRun(const QString& runId, const QString& csvFile);
    Outcome<QString> approve(const QString& reason);
    void askImport();
    void askApprove();

    QComboBox* studies() const { return studies_; }
    QComboBox* runs() const { return runs_; }
    QLabel* facts() const { return facts_; }
    QLabel* approval() const { return approval_; }
    HeatMapWidget* heatMap() const { return map_; }
    QTableWidget* runTable() const { return runTable_; }
    QLabel* zones() const { return zones_; }
    QTableWidget* ratioTable() const { return ratioTable_; }

signals:
    void spoke(const QString& text);

private:
    void load();
    void showMap();
    Outcome<QString> said(Outcome<QString> outcome);

    Store& store_;
    Signer* signer_;
    QString operator_;
    Now now_;
    std::optional<StudyView> view_;
    QComboBox* studies_;
    QComboBox* runs_;
    QPushButton* pdf_;
    QPushButton* import_;
    QPushButton* approve_;
    QLabel* facts_;
    QLabel* approval_;
    HeatMapWidget* map_;
    QTableWidget* runTable_;
    QLabel* zones_;
    QTableWidget* ratioTable_;
};

} // namespace qvr::dose
