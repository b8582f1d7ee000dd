#pragma once
// What the board dialog lists, selects and accepts, without the widgets.

#include <QList>
#include <QString>

namespace qvr {

class DaqDriver;
class SettingsStore;
struct ReaderState;

class BoardSelection {
public:
    struct Entry {
        int number = 0; // the board number the entry was found under
        QString name;
    };

    // Loaded: the list exists (from the last enumeration or the last Accept).
    bool isLoaded() const { return loaded_; }
    // Enumerates boards 0..199 and preselects the last "PCI-DAS08"; only when not loaded.
    void load(DaqDriver& driver);

    const QList<Entry>& entries() const { return entries_; }
    int selected() const { return selected_; }
    // -1 (or any position outside the list) selects nothing.
    void select(int position);

    // The board number of the selected entry, -1 when nothing is selected.
    int selectedBoard() const;
    // Stores the chosen board's number under "PCIPort" and puts it in BoardNum. The list stays
    // loaded. False when the setting could not be stored, or nothing is selected: then nothing
    // is stored or changed.
    bool accept(ReaderState& state, SettingsStore& settings);
    // Discards the list; nothing is stored.
    void cancel();

private:
    QList<Entry> entries_;
    int selected_ = -1;
    bool loaded_ = false;
};

// The name cbGetBoardName reports for board n, blanks and terminator dropped.
QString boardName(DaqDriver& driver, int board);

} // namespace qvr
