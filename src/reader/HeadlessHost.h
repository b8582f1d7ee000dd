#pragma once
// The reader run as a service with no window: no position to keep, the board chosen as the
// dialog would preselect it, every message on standard error.

#include "reader/ReaderHost.h"

#include <QString>
#include <functional>

namespace qvr {

class Reader;

class HeadlessHost : public ReaderHost {
public:
    // endProcess calls onEnd (the event loop's exit).
    HeadlessHost(Reader& reader, std::function<void()> onEnd);

    // When no board is stored: enumerates and accepts the preselected entry. False when
    // nothing is preselected; error() then names the boards found.
    bool chooseBoard();
    const QString& error() const { return error_; }

    void showBoardDialog() override;
    void endProcess() override;

private:
    Reader& reader_;
    std::function<void()> onEnd_;
    QString error_;
};

} // namespace qvr
