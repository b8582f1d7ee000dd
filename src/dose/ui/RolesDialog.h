#pragma once
// The administrator's roles dialog: the roles in force, and a grant or withdrawal with its
// reason. What may be changed is the role table's and the store's to say, not this dialog's.

#include "dose/core/Outcome.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace qvr::dose {

class Store;

class RolesDialog : public QDialog {
    Q_OBJECT
public:
    RolesDialog(Store& store, QString administrator, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    QLineEdit* account() const { return account_; }
    QComboBox* role() const { return role_; }
    QLineEdit* reason() const { return reason_; }
    QLabel* status() const { return status_; }
    // The grant or withdrawal the fields ask for; says what happened or why nothing did.
    Outcome<QString> change(bool grant);

private:
    void reload();

    Store& store_;
    QString administrator_;
    QTableWidget* table_;
    QLineEdit* account_;
    QComboBox* role_;
    QLineEdit* reason_;
    QLabel* status_;
};

} // namespace qvr::dose
