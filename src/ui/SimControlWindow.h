#pragma once
// "Reader head simulator": the user's hands at the simulated head (holder, film, filters,
// lamp, noise, push button) and live indicators of the lines the program drives.

#include <QWidget>

class QCheckBox;
class QComboBox;
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

    // The record as shown: printable characters as they are, other bytes as \xNN.
    static QString recordText(const QByteArray& record);

private:
    void refreshLines();
    void refreshConditions();

    SimCard& card_;
    QRadioButton* holderFilm_;
    QRadioButton* holderFilter_;
    QCheckBox* filmPresent_;
    QDoubleSpinBox* filmOd_[2];
    QLabel* filmOdLabel_[2];
    QComboBox* filter_;
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
