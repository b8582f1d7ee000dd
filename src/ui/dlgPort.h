#pragma once
// The board selection dialog: a window over BoardSelection, which keeps the list between
// showings. Accept stores the choice and hides the dialog; Cancel, Esc and the close box
// discard the list. Accept needs a board chosen, and one this program may have: a board
// another program drives is refused, said, and nothing is stored.

#include <QDialog>
#include <cstdint>
#include <functional>

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
    // Why a board cannot be this program's, or empty when it is now (Reader::claim).
    using Claim = std::function<QString(std::int16_t board)>;

    // Enumerates the boards unless the selection is still loaded from an earlier Accept.
    // simulated: the simulated card is in use, which a line under the list says. Without a
    // PCI-DAS08 in the list, a line says how to make the card's driver find one.
    dlgPort(BoardSelection& boards, DaqDriver& driver, ReaderState& state, SettingsStore& settings,
            QWidget* parent = nullptr, bool simulated = false, Claim claim = {});

    void OKButton_Click();
    void cmdCancel_Click() { reject(); }

    // Every way out other than Accept.
    void reject() override;

private:
    QLabel* addNote(const char* name, const QString& text, int& top);

    BoardSelection& boards_;
    ReaderState& state_;
    SettingsStore& settings_;
    Claim claim_;
    QLabel* lblPortInstructions_;
    QLabel* lblPortAddress_;
    QComboBox* cmbBoard_;
    QPushButton* OKButton_;
    QPushButton* cmdCancel_;
};

} // namespace qvr
