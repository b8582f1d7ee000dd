#pragma once
// The neutral density filter check: a window over FilterCheck. Zero first, then any of the
// three filters; the focus walks Zero, Light, Medium, Dark, Close.

#include "measure/FilterCheck.h"

#include <QDialog>
#include <array>

class QLabel;
class QPushButton;

namespace qvr {

class frmNDF : public QDialog {
    Q_OBJECT
public:
    explicit frmNDF(FilterCheck& check, QWidget* parent = nullptr);

    void cmdZero_Click();
    // After the user confirmed it: the zero is taken as it reads and becomes the clear path.
    void cmdAcceptClearPath_Click();
    void cmdLight_Click() { readFilter(FilterCheck::Light); }
    void cmdMedium_Click() { readFilter(FilterCheck::Medium); }
    void cmdDark_Click() { readFilter(FilterCheck::Dark); }

private:
    void readFilter(FilterCheck::Filter filter);
    void enableFilters(bool on);
    void showZero(const ZeroResult& zero);

    FilterCheck& check_;
    QPushButton* cmdZero_;
    QLabel* refusal_;
    QPushButton* cmdAcceptClearPath_;
    std::array<QPushButton*, FilterCheck::kFilters> filterButtons_;
    std::array<QLabel*, FilterCheck::kFilters> results_;
    QPushButton* OKButton_;
};

} // namespace qvr
