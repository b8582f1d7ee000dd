#pragma once
// A dose-mapping study: its facts and approval (or what blocks it), the heat map of each layer
// for the mean over the runs or one run, the results of each run and the ratios to each
// monitoring position. Studies are made, filled and approved on the command line; this view
// shows them and writes the study's PDF.

#include "dose/store/Store.h"
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
    MappingView(Store& store, Now now, QWidget* parent = nullptr);

    // Reads the studies again, keeping the one shown when it is still there.
    void reload();
    void showStudy(const QString& studyId);
    void showRun(const QString& runId); // empty: the mean over the runs
    QString studyId() const;
    QString runId() const;
    // Writes the study's PDF; says what happened, or why nothing did.
    Outcome<QString> writeReport(const QString& path);
    void askReport();

    QComboBox* studies() const { return studies_; }
    QComboBox* runs() const { return runs_; }
    QLabel* facts() const { return facts_; }
    QLabel* approval() const { return approval_; }
    HeatMapWidget* heatMap() const { return map_; }
    QTableWidget* runTable() const { return runTable_; }
    QLabel* zones() const { return zones_; }
    QTableWidget* ratioTable() const { return ratioTable_; }

signals:
    void said(const QString& text);

private:
    void load();
    void showMap();

    Store& store_;
    Now now_;
    std::optional<StudyView> view_;
    QComboBox* studies_;
    QComboBox* runs_;
    QPushButton* pdf_;
    QLabel* facts_;
    QLabel* approval_;
    HeatMapWidget* map_;
    QTableWidget* runTable_;
    QLabel* zones_;
    QTableWidget* ratioTable_;
};

} // namespace qvr::dose
