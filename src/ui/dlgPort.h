#pragma once
// The board selection dialog: a window over BoardSelection, which keeps the list between
// showings. Accept stores the choice and hides the dialog; Cancel, Esc and the close box
// discard the list.

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace qvr {

class BoardSelection;
class DaqDriver;
class SettingsStore;
struct ReaderState;

class dlgPort : public QDialog {
    Q_OBJECT
public:
    // Enumerates the boards unless the selection is still loaded from an earlier Accept.
    dlgPort(BoardSelection& boards, DaqDriver& driver, ReaderState& state, SettingsStore& settings,
            QWidget* parent = nullptr);

    void OKButton_Click();
    void cmdCancel_Click() { reject(); }

    // Every way out other than Accept.
    void reject() override;

private:
    BoardSelection& boards_;
    ReaderState& state_;
    SettingsStore& settings_;
    QLabel* lblPortInstructions_;
    QLabel* lblPortAddress_;
    QComboBox* cmbBoard_;
    QPushButton* OKButton_;
    QPushButton* cmdCancel_;
};

} // namespace qvr
