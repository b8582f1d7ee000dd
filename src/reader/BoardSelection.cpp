#include "reader/BoardSelection.h"

#include "core/ReaderState.h"
#include "core/Settings.h"
#include "daq/Driver.h"

#include <array>
#include <cstring>

namespace qvr {

namespace {
const QString kPreferredBoard = QStringLiteral("PCI-DAS08");
}

QString boardName(DaqDriver& driver, int board) {
    // One spare byte past the contract's 25, always NUL, so a driver that forgets the
    // terminator cannot make us read past the buffer.
    std::array<char, kBoardNameSize + 1> buffer;
    buffer.fill(' ');
    buffer[kBoardNameSize] = '\0';
    driver.cbGetBoardName(board, buffer.data());
    const auto length = ::strnlen(buffer.data(), kBoardNameSize);
    QString name = QString::fromLatin1(buffer.data(), static_cast<qsizetype>(length));
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    return name;
}

void BoardSelection::load(DaqDriver& driver) {
    if (loaded_)
        return;
    entries_.clear();
    selected_ = -1;
    for (int n = 0; n < kMaxBoards; ++n) {
        std::int32_t type = 0;
        driver.cbGetConfig(BOARDINFO, n, 0, BIBOARDTYPE, type);
        if (type == 0)
            continue;
        QString name = boardName(driver, n);
        if (name.isEmpty())
            name = QStringLiteral("Board %1").arg(n);
        entries_.append({n, name});
        if (name == kPreferredBoard)
            selected_ = static_cast<int>(entries_.size()) - 1;
    }
    loaded_ = true;
}

void BoardSelection::select(int position) {
    selected_ = (position >= 0 && position < entries_.size()) ? position : -1;
}

int BoardSelection::selectedBoard() const {
    return selected_ >= 0 ? entries_[selected_].number : -1;
}

bool BoardSelection::accept(ReaderState& state, SettingsStore& settings) {
    // No board is no choice: nothing is stored that would pass for one at the next start.
    if (selected_ < 0)
        return false;
    // The board number of the entry, not its position: with a gap in the numbering (a card
    // as board 1 and no board 0) the position would address a board that is not there.
    const int number = selectedBoard();
    const bool stored = settings.write(QStringLiteral("PCIPort"), QString::number(number));
    state.BoardNum = static_cast<std::int16_t>(number);
    loaded_ = true;
    return stored;
}

void BoardSelection::cancel() {
    entries_.clear();
    selected_ = -1;
    loaded_ = false;
}

} // namespace qvr
