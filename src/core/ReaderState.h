#pragma once
// The reader state: the variables every procedure of the reader shares.

#include <QString>
#include <cstdint>

namespace qvr {

// BoardNum value meaning that no board has been chosen yet.
inline constexpr std::int16_t kNoBoard = 9999;

struct ReaderState {
    std::uint8_t Control = 0; // image of the head port's output lines
    std::int16_t Status = 0;  // last read of the head port's input lines
    double v1 = 0;            // detector reading: volts / gain, smoothed
    double z1 = 0;            // zero reference
    double oldv1 = 0;         // previous v1, for smoothing
    double rdrGain = 0;       // head amplifier gain in use
    QString rdrSN;
    QString rdrWL1;
    QString rdrWL2;
    QString rdrModel;
    // The head record, one character per EEPROM byte: byte b is the character U+00bb
    // (Latin-1), so NUL and 128..255 survive and toLatin1() gives the bytes back.
    QString rdrEEPROM;
    std::int16_t BoardNum = 0;
    std::int16_t ULStat = 0; // status of the last cbDOut / cbDIn / cbAIn

    // True when the head was identified from its own record (record check passed, no
    // recovery ran); only then does shut-down store the gain under its serial number.
    bool headIdentified = false;

    // Driver statuses are 32-bit; they saturate so that a failure never narrows into 0
    // (success).
    void recordStatus(int status) {
        ULStat = status > INT16_MAX   ? INT16_MAX
                 : status < INT16_MIN ? INT16_MIN
                                      : static_cast<std::int16_t>(status);
    }
};

} // namespace qvr
