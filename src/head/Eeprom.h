#pragma once
// The head EEPROM (a 93C46, 64 words of 16 bits), read bit by bit over the head port.
// Every clock edge, select change and data bit is one port write; DO is read into Status.

#include <QString>
#include <chrono>
#include <cstdint>

namespace qvr {

class HeadLines;

inline constexpr int kHeadRecordLength = 64;

class Eeprom {
public:
    explicit Eeprom(HeadLines& lines);

    // Drive EEPROM lines high: clear their port bits, write, pause.
    void setEEPROM(std::uint8_t dataline);
    // Drive EEPROM lines low: set their port bits, write, pause.
    void clearEEPROM(std::uint8_t dataline);
    void bumpSK();
    void sendByte(std::uint8_t b);
    void sendOpcode(std::uint8_t code);
    // Eight bits from DO, most significant first, as one character (U+0000..U+00FF).
    QString getByte();
    // One read instruction: high byte, then low byte. An address outside 0..63 touches no
    // line and gives two NULs.
    QString readEeprom(int reg);
    // Words 0, 2, ..., 62 as the 64-character head record; shows it in lblEEPROM and
    // restores Control as found.
    QString getEEPROM();

private:
    HeadLines& lines_;
};

// The EEPROM's minimum clock high / low time is 250 ns at 5 V; the margin covers parts run
// at a lower supply, and a whole record still costs only about 2 ms of pauses.
inline constexpr std::chrono::nanoseconds kEepromPause{1000};

// At least kEepromPause, as a busy wait on the monotonic clock the compiler keeps.
void eepromPause();

} // namespace qvr
