#pragma once
// A 93C46 serial EEPROM in its 16-bit organisation (64 words), seen from its own pins.
// Levels here are the chip's logic levels; any inversion on the way to a port is the
// caller's business. The part is write-protected: only READ does anything.

#include <array>
#include <cstdint>

namespace qvr::sim {

class Eeprom93C46 {
public:
    static constexpr int kWords = 64;

    Eeprom93C46();

    void setWords(const std::array<std::uint16_t, kWords>& words) { words_ = words; }
    const std::array<std::uint16_t, kWords>& words() const { return words_; }

    // Present levels of CS, SK and DI. The chip acts on rising SK edges while CS is high;
    // CS low resets the instruction and releases DO.
    void setInputs(bool cs, bool sk, bool di);

    // True while the chip drives DO; doLevel() is then the bit it drives.
    bool doDriven() const { return phase_ == Phase::Output; }
    bool doLevel() const { return doLevel_; }

private:
    enum class Phase {
        Idle,     // selected, waiting for the start bit (leading zeros are ignored)
        Command,  // shifting in the opcode and address
        Output,   // READ: driving DO
        Ignoring, // an instruction this part does not carry out, until CS falls
    };

    void risingEdge(bool di);

    std::array<std::uint16_t, kWords> words_{};
    bool cs_ = false;
    bool sk_ = false;
    Phase phase_ = Phase::Idle;
    int bitsIn_ = 0;            // opcode and address bits received so far
    std::uint16_t command_ = 0; // those bits, first received highest
    int address_ = 0;           // word being shifted out
    int bitOut_ = 0;            // -1: dummy 0 on DO; 15..0: that data bit on DO
    bool doLevel_ = false;
};

} // namespace qvr::sim
