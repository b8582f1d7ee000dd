#pragma once
// Passes driver calls through until closed; afterwards every call fails without reaching the
// card. Shut-down closes it after writing 0 to the head port, so code still unwinding from a
// nested message box cannot switch a head line on again.

#include "daq/Driver.h"

namespace qvr {

class GatedDriver : public DaqDriver {
public:
    explicit GatedDriver(DaqDriver& inner) : inner_(inner) {}
    void close() { open_ = false; }
    bool isOpen() const { return open_; }

    int cbAIn(int board, int chan, int range, std::int16_t& value) override {
        return open_ ? inner_.cbAIn(board, chan, range, value) : kStatusDriverClosed;
    }
    int cbDIn(int board, int port, std::int16_t& value) override {
        return open_ ? inner_.cbDIn(board, port, value) : kStatusDriverClosed;
    }
    int cbDOut(int board, int port, std::uint16_t value) override {
        return open_ ? inner_.cbDOut(board, port, value) : kStatusDriverClosed;
    }
    int cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) override {
        return open_ ? inner_.cbGetConfig(infoType, board, devNum, item, value)
                     : kStatusDriverClosed;
    }
    int cbGetBoardName(int board, char* name) override {
        return open_ ? inner_.cbGetBoardName(board, name) : kStatusDriverClosed;
    }

private:
    DaqDriver& inner_;
    bool open_ = true;
};

} // namespace qvr
