#include "reader/HeadlessHost.h"

#include "reader/Reader.h"

#include <QStringList>

namespace qvr {

HeadlessHost::HeadlessHost(Reader& reader, std::function<void()> onEnd)
    : reader_(reader), onEnd_(std::move(onEnd)) {}

bool HeadlessHost::chooseBoard() {
    if (reader_.storedBoard() != kNoBoard)
        return true;
    BoardSelection& boards = reader_.boardSelection();
    boards.load(reader_.driver());
    if (boards.selected() < 0) {
        QStringList found;
        for (const auto& entry : boards.entries())
            found << QStringLiteral("board %1 \"%2\"").arg(entry.number).arg(entry.name);
        error_ =
            QStringLiteral("no board chosen and no PCI-DAS08 found (boards found: %1); "
                           "choose one in the windowed program's Setup, Port")
                .arg(found.isEmpty() ? QStringLiteral("none") : found.join(QStringLiteral(", ")));
        boards.cancel();
        return false;
    }
    if (!boards.accept(reader_.state(), reader_.settings()))
        error_ = QStringLiteral("could not store the board choice");
    return true;
}

void HeadlessHost::showBoardDialog() {
    // Reached only when the choice could not be stored; use it for this run all the same.
    BoardSelection& boards = reader_.boardSelection();
    boards.load(reader_.driver());
    if (boards.selected() >= 0)
        boards.accept(reader_.state(), reader_.settings());
}

void HeadlessHost::endProcess() {
    if (onEnd_)
        onEnd_();
}

} // namespace qvr
