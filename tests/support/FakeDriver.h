#pragma once
// A recording driver for tests: scripted inputs, every call logged.

#include "daq/Driver.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>

namespace qvr::test {

class FakeDriver : public DaqDriver {
public:
    struct Call {
        QString kind; // "cbAIn", "cbDIn", "cbDOut", "cbGetConfig", "cbGetBoardName"
        int board = 0;
        int port = 0; // port or channel
        int value = 0;
    };

    int cbAIn(int board, int chan, int range, std::int16_t& value) override;
    int cbDIn(int board, int port, std::int16_t& value) override;
    int cbDOut(int board, int port, std::uint16_t value) override;
    int cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) override;
    int cbGetBoardName(int board, char* name) override;

    // Scripted inputs: counts are taken from the queue, then `count` forever.
    std::deque<std::int16_t> counts;
    std::int16_t count = 2048;
    std::function<std::int16_t()> countSource;     // overrides both when set
    std::int16_t inputs = 1;                       // head input lines (no film, button up)
    int status = 0;                                // returned by every call
    std::map<int, std::pair<int, QString>> boards; // number -> (type, name)

    // Queues the 5000 counts of one reading whose converter voltage is volts (to the nearest
    // count sum), each within 0..4095.
    void queueVolts(double volts);

    // Logged calls; doutValues() lists the values of the port writes in order.
    QList<Call> calls;
    bool logAnalog = true;
    QList<int> doutValues() const;
    int countOf(const QString& kind) const;
    void clearLog() { calls.clear(); }
};

} // namespace qvr::test
