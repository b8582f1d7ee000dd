#pragma once
// The driver contract: the five card calls the program makes. Each returns a status code,
// 0 on success; no call ever throws.

#include <QString>
#include <cstdint>

namespace qvr {

inline constexpr int BOARDINFO = 2;   // cbGetConfig information class: board information
inline constexpr int BIBOARDTYPE = 1; // cbGetConfig item: board type
inline constexpr int AUXPORT = 1;     // the head port: the card's auxiliary digital port
inline constexpr int BIP5VOLTS = 0;   // range code: bipolar +-5 V
inline constexpr int kBoardNameSize = 25;
inline constexpr int kMaxBoards = 200; // board numbers 0..199 are enumerated

// The status codes of every driver, the simulated card's and the gate's too: 0 is success,
// any other value a failure that left the call's destination untouched.
inline constexpr int kStatusOk = 0;
inline constexpr int kStatusBadBoard = 1;   // board number negative or >= kMaxBoards
inline constexpr int kStatusNoDevice = 2;   // no such card, or its device cannot be opened
inline constexpr int kStatusUnsuitable = 3; // no AI with a +-5 V range, no DI or no DO
inline constexpr int kStatusBadPort = 4;    // port other than the head port (1)
inline constexpr int kStatusBadChannel = 5; // analog channel the board does not have
inline constexpr int kStatusBadRange = 6;   // range code other than +-5 V, or none on the channel
inline constexpr int kStatusBadConfigItem = 7; // cbGetConfig asked for anything but the board type
inline constexpr int kStatusBadBuffer = 8;     // cbGetBoardName given no buffer
inline constexpr int kStatusIoFailed = 9;      // the card refused a read or write
inline constexpr int kStatusDriverClosed = 0x7fff; // the gate is closed: shut-down has begun

// A short English description of a status code, for log lines.
QString driverStatusText(int status);

class DaqDriver {
public:
    virtual ~DaqDriver() = default;
    // One conversion of chan at range; value receives the raw 12-bit count.
    virtual int cbAIn(int board, int chan, int range, std::int16_t& value) = 0;
    // The present levels of the port's input lines.
    virtual int cbDIn(int board, int port, std::int16_t& value) = 0;
    // The port's output lines take the low 8 bits of value before the call returns.
    virtual int cbDOut(int board, int port, std::uint16_t value) = 0;
    // Board information; a board that is not installed leaves value alone or writes 0.
    virtual int cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) = 0;
    // Writes the name at the start of the 25-byte buffer and ends it with one NUL; nothing
    // after the NUL is touched.
    virtual int cbGetBoardName(int board, char* name) = 0;
};

} // namespace qvr
