#pragma once
// The head port's output image and the single-line procedures.
//
// Output lines (Control): bit 0 buzzer / EEPROM SK, bit 1 wavelength select,
// bit 2 LED / EEPROM DI, bit 3 EEPROM CS. Input lines (Status): bit 0 film switch
// (0 = film), bit 1 push button (1 = pressed), bit 2 EEPROM DO. The EEPROM lines are
// inverted at the port.

#include <cstdint>
#include <optional>

namespace qvr {

class DaqDriver;
class LabelModel;
struct ReaderState;

inline constexpr std::uint8_t kBuzzerBit = 1;
inline constexpr std::uint8_t kWavelengthBit = 2;
inline constexpr std::uint8_t kLedBit = 4;
inline constexpr std::uint8_t kChipSelectBit = 8;
inline constexpr std::uint8_t kStartupControl = 8;

class HeadLines {
public:
    HeadLines(ReaderState& state, DaqDriver& driver, LabelModel& labels);

    // Read-modify-write: raise and lower bits in Control, then write the whole image.
    void change(std::uint8_t raise, std::uint8_t lower);
    // Writes Control as it stands (a write is made even when nothing changed).
    void writeControl();
    // Writes value directly, leaving Control alone (shut-down's 0).
    void writePort(std::uint16_t value);
    // Reads the input lines into Status; nullopt when the call failed (Status is then left
    // alone and says nothing of the lines).
    std::optional<std::int16_t> readStatus();

    void LedOn();
    void LedOff();
    void buzzerOn();
    void buzzerOff();
    // Reads the port; true while the button is pressed; updates lblButton ("—" when the read
    // failed).
    bool pushButton();

    ReaderState& state() { return state_; }
    DaqDriver& driver() { return driver_; }
    LabelModel& labels() { return labels_; }

private:
    ReaderState& state_;
    DaqDriver& driver_;
    LabelModel& labels_;
};

} // namespace qvr
