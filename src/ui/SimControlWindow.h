#pragma once
// "Reader head simulator": the user's hands at the simulated head (holder, film, filters,
// lamp, noise, push button) and live indicators of the lines the program drives.

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qvr::sim {

class SimCard;

class SimControlWindow : public QWidget {
    Q_OBJECT
public:
    explicit SimControlWindow(SimCard& card, QWidget* parent = nullptr);

    // The whole content, which the window scrolls when the screen cannot hold it.
    QSize sizeHint() const override;

private:
    void refreshLines();
    void refreshConditions();

    SimCard& card_;
    QWidget* content_;
    QRadioButton* holderFilm_;
    QRadioButton* holderFilter_;
    QCheckBox* filmPresent_;
    QDoubleSpinBox* filmOd_[2];
    QLabel* filmOdLabel_[2];
    QButtonGroup* filters_;
    QDoubleSpinBox* lamp_;
    QDoubleSpinBox* noise_;
    QPushButton* button_;
    QLabel* led_;
    QLabel* buzzer_;
    QLabel* wavelength_;
    QLabel* chipSelect_;
    QLabel* faults_;
    QLineEdit* record_;
    QString wavelengths_[2]; // from the record, "510" or empty
};

} // namespace qvr::sim
