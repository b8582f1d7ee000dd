#pragma once
// What the simulated card and reader head are like: plain data, read from a JSON scenario or
// built in. Every value here can also change while the program runs (timed events, the
// control window).

#include "daq/Driver.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace qvr::sim {

inline constexpr int kEepromWords = 64;

// Nonzero board type the simulated PCI-DAS08 reports; other models report kOtherBoardType.
inline constexpr std::int32_t kDas08BoardType = 41;
inline constexpr std::int32_t kOtherBoardType = 1;
inline constexpr const char* kDas08Name = "PCI-DAS08";
// The model a PCI-DAS08 reports under the "other_model" fault.
inline constexpr const char* kOtherModelName = "PCI-DAS1602/16";

struct Board {
    int number = 0;
    std::int32_t type = kDas08BoardType;
    QString name = QString::fromLatin1(kDas08Name);
    bool operator==(const Board&) const = default;
};

enum class Holder { Film, Filter };
enum class Filter { None, Light, Medium, Dark };

// The five driver calls, for per-call faults and counters.
enum class CallKind { AIn, DIn, DOut, GetConfig, GetBoardName };
inline constexpr int kCallKinds = 5;
const char* callName(CallKind kind); // "cbAIn", ...

struct Film {
    bool present = false;
    std::array<double, 2> od{0.5, 0.35}; // at the first and the second wavelength
    // A damaged film (a scratch, a wet or dusty film): added to od at each wavelength, so that
    // one wavelength reads off by a set amount and the two no longer tell the same dose.
    std::array<double, 2> damage{0, 0};
    // What the light path sees at wavelength 0 or 1, within 0..10.
    double seenOd(std::size_t wavelength) const;
};

struct Filters {
    std::array<double, 3> od{0.3, 1.0, 2.0}; // light, medium, dark (neutral: same at both)
    Filter inserted = Filter::None;
};

struct Faults {
    // Call kind k fails on every failEvery[k]-th call (1: always, 0: never) with failStatus;
    // a failed call changes nothing, neither its destination nor the lines.
    std::array<int, kCallKinds> failEvery{};
    int failStatus = kStatusIoFailed;
    bool noBoard = false;       // the board table is empty
    bool otherModel = false;    // every PCI-DAS08 reports as another model, without the head
    bool blankEeprom = false;   // every EEPROM bit reads 1
    int doStuck = -1;           // -1: off; 0 or 1: the DO port input bit, whatever the chip does
    bool deadConverter = false; // every conversion gives count 0
    bool disconnected = false;  // no head on the cable: inputs all 1, converter near -5 V
};

// A change applied at `atMs` after start; `changes` holds scenario keys already validated.
struct Event {
    qint64 atMs = 0;
    QJsonObject changes;
};

// The record of the built-in head; wordsFromRecord() as Scenario::setRecord().
QByteArray healthyRecord();
std::array<std::uint16_t, kEepromWords> wordsFromRecord(const QByteArray& bytes);

// Defaults are the built-in healthy head.
struct Scenario {
    QList<Board> boards{Board{}};
    std::array<std::uint16_t, kEepromWords> words = wordsFromRecord(healthyRecord());
    double gain = 1.9;  // the head amplifier's true gain
    double lamp = 2.0;  // reading of a clear light path (volts / gain)
    double noise = 1.0; // standard deviation of the converter noise, in counts
    std::uint64_t seed = 1;
    int conversionUs = 25; // busy-waited per conversion; 0 for tests and benchmarks
    Film film;
    bool button = false; // push button held down
    Holder holder = Holder::Film;
    Filters filters;
    Faults faults;
    int undrivenDo = 1; // DO port input bit while the EEPROM does not drive DO
    std::vector<Event> events;

    // Model QVR100, serial number 1234, gain 1.9, 510 / 600 nm, clear light path.
    static Scenario healthy();
    // The healthy head without noise or conversion time: exact counts at once, for tests
    // and benchmarks.
    static Scenario quiet();

    // Stores up to 64 bytes in the even words, high byte first; every byte not given
    // (the rest, and all odd words) is 0xFF.
    void setRecord(const QByteArray& bytes) { words = wordsFromRecord(bytes); }
    // The 64 bytes of the even words, as the head record carries them.
    QByteArray record() const;
};

// A scenario file larger than this is refused unread: a few thousand events fit many times.
inline constexpr qsizetype kMaxScenarioBytes = 1024 * 1024;

// Reads a JSON scenario; every key is optional and starts from Scenario::healthy(). Unknown
// keys, wrong types and out-of-range values are refused with a message naming the key.
std::optional<Scenario> parseScenario(const QByteArray& json, QString* error);

// Applies validated scenario keys (an event's changes) to a scenario.
void applyChanges(Scenario& scenario, const QJsonObject& changes);

} // namespace qvr::sim
