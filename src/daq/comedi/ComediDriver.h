#pragma once
// The five card calls on a real card, through comedilib: board n is /dev/comedi<n>.

#include "daq/Driver.h"
#include "daq/comedi/ComediApi.h"

#include <QString>
#include <memory>
#include <vector>

namespace qvr {

// The board type cbGetConfig reports for a usable board.
inline constexpr std::int32_t kComediBoardType = 1;

class ComediDriver : public DaqDriver {
public:
    explicit ComediDriver(std::unique_ptr<ComediApi> api,
                          QString nodePrefix = QStringLiteral("/dev/comedi"));
    ~ComediDriver() override;
    ComediDriver(const ComediDriver&) = delete;
    ComediDriver& operator=(const ComediDriver&) = delete;

    int cbAIn(int board, int chan, int range, std::int16_t& value) override;
    int cbDIn(int board, int port, std::int16_t& value) override;
    int cbDOut(int board, int port, std::uint16_t value) override;
    int cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) override;
    int cbGetBoardName(int board, char* name) override;

    // What went wrong in the most recent failing call, for a log line; empty until one fails.
    QString lastError() const { return lastError_; }

private:
    struct Board {
        ComediDevice* device = nullptr;
        int ai = -1;
        int di = -1;
        int dout = -1;
    };
    struct Analog {
        unsigned range = 0;
        unsigned maxdata = 0;
    };

    QString nodePath(int board) const;
    int fail(int status, const QString& detail);
    int failComedi(int status, int board, const char* function);
    // The open, checked board, opening and checking it when needed.
    int usableBoard(int board, Board*& out);
    int probe(int board, Board& b);
    int analog(int board, const Board& b, int chan, Analog& out);
    void closeBoard(Board& b);

    std::unique_ptr<ComediApi> api_;
    QString nodePrefix_;
    std::vector<Board> boards_;
    QString lastError_;
};

// The driver for the cards comedi knows. Never fails to construct; a missing card shows as
// board type 0 and nonzero statuses.
std::unique_ptr<DaqDriver> makeComediDriver();

// True when at least one comedi device node exists (/dev/comedi0 .. /dev/comedi<kMaxBoards-1>).
bool comediDeviceExists();
// The same check under another directory.
bool comediDeviceExists(const QString& devDir);

} // namespace qvr
