#include "daq/sim/Eeprom93C46.h"

namespace qvr::sim {

namespace {
constexpr int kCommandBits = 8; // 2-bit opcode, 6-bit address in the x16 organisation
constexpr std::uint16_t kOpRead = 0b10;
} // namespace

Eeprom93C46::Eeprom93C46() {
    words_.fill(0xFFFF);
}

void Eeprom93C46::setInputs(bool cs, bool sk, bool di) {
    const bool rising = sk && !sk_;
    sk_ = sk;
    if (!cs) {
        // Deselecting ends whatever was going on and lets DO float.
        cs_ = false;
        phase_ = Phase::Idle;
        bitsIn_ = 0;
        command_ = 0;
        return;
    }
    // A clock that rises together with CS has no chip-select set-up time: not an edge.
    const bool wasSelected = cs_;
    cs_ = true;
    if (rising && wasSelected)
        risingEdge(di);
}

void Eeprom93C46::risingEdge(bool di) {
    switch (phase_) {
    case Phase::Idle:
        // The first 1 clocked in while selected is the start bit.
        if (di) {
            phase_ = Phase::Command;
            bitsIn_ = 0;
            command_ = 0;
        }
        return;
    case Phase::Command:
        command_ = static_cast<std::uint16_t>((command_ << 1) | (di ? 1 : 0));
        if (++bitsIn_ < kCommandBits)
            return;
        if ((command_ >> 6) == kOpRead) {
            // The clock that completes the address puts the dummy 0 on DO.
            phase_ = Phase::Output;
            address_ = command_ & 0x3F;
            bitOut_ = -1;
            doLevel_ = false;
        } else {
            phase_ = Phase::Ignoring;
        }
        return;
    case Phase::Output:
        // Each rising edge moves to the next bit, D15 first; after D0 the next word follows
        // without a dummy bit for as long as CS stays high.
        if (bitOut_ <= 0) {
            if (bitOut_ == 0)
                address_ = (address_ + 1) % kWords;
            bitOut_ = 15;
        } else {
            --bitOut_;
        }
        doLevel_ = ((words_[static_cast<std::size_t>(address_)] >> bitOut_) & 1) != 0;
        return;
    case Phase::Ignoring:
        return;
    }
}

} // namespace qvr::sim
