#pragma once
// A job's records: the latest version of each, filtered and sorted; the selected record's every
// version in the history pane; and the job's reviews.

#include "dose/store/Store.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QTableWidget;

namespace qvr::dose {

class RecordsView : public QWidget {
    Q_OBJECT
public:
    RecordsView(Store& store, QWidget* parent = nullptr);

    void showJob(const QString& jobId);
    void reload() { showJob(jobId_); }
    qint64 selectedRecord() const; // 0 when none
    void focusFilter();

    QTableView* table() const { return table_; }
    QTableWidget* history() const { return history_; }
    QLineEdit* filter() const { return filter_; }
    QLabel* reviewLine() const { return review_; }
    QLabel* budgetLabel() const { return budget_; }

private:
    void showHistory();

    Store& store_;
    QString jobId_;
    std::vector<Record> all_;
    QLineEdit* filter_;
    QStandardItemModel* model_;
    QSortFilterProxyModel* proxy_;
    QTableView* table_;
    QTableWidget* history_;
    QLabel* review_;
    QLabel* budget_; // the selected record's uncertainty budget
};

} // namespace qvr::dose
