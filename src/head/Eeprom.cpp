#include "head/Eeprom.h"

#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "head/HeadLines.h"

#include <chrono>

namespace qvr {

namespace {

// Lines as the port sees them; every EEPROM line is inverted there.
constexpr std::uint8_t kSK = kBuzzerBit;
constexpr std::uint8_t kDI = kLedBit;
constexpr std::uint8_t kCS = kChipSelectBit;
constexpr std::int16_t kDO = 4; // input bit: 0 while the EEPROM drives DO high

constexpr std::uint8_t kReadOpcode = 0x80; // 10 followed by the 6-bit word address
constexpr int kWordCount = 64;

} // namespace

void eepromPause() {
    // A counting loop would be optimised away; the clock reads cannot be.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < kEepromPause) {
    }
}

Eeprom::Eeprom(HeadLines& lines) : lines_(lines) {}

void Eeprom::setEEPROM(std::uint8_t dataline) {
    lines_.change(0, dataline);
    eepromPause();
}

void Eeprom::clearEEPROM(std::uint8_t dataline) {
    lines_.change(dataline, 0);
    eepromPause();
}

void Eeprom::bumpSK() {
    setEEPROM(kSK);
    clearEEPROM(kSK);
}

void Eeprom::sendByte(std::uint8_t b) {
    clearEEPROM(kSK);
    for (int mask = 0x80; mask != 0; mask >>= 1) {
        if (b & mask)
            setEEPROM(kDI);
        else
            clearEEPROM(kDI);
        bumpSK();
    }
    clearEEPROM(kDI);
}

void Eeprom::sendOpcode(std::uint8_t code) {
    setEEPROM(kCS);
    clearEEPROM(kDI); // leading zero
    bumpSK();
    setEEPROM(kDI); // start bit
    bumpSK();
    sendByte(code);
}

QString Eeprom::getByte() {
    int value = 0;
    for (int bit = 0; bit < 8; ++bit) {
        bumpSK();
        value *= 2;
        const std::optional<std::int16_t> in = lines_.readStatus();
        if (in && (*in & kDO) == 0)
            value += 1;
    }
    return QString(QChar(static_cast<char16_t>(value)));
}

QString Eeprom::readEeprom(int reg) {
    // 128 + 64 would be the erase opcode: never send an address the part does not have.
    if (reg < 0 || reg >= kWordCount)
        return QString(2, QChar(0));
    clearEEPROM(kCS);
    clearEEPROM(kDI);
    clearEEPROM(kSK);
    sendOpcode(static_cast<std::uint8_t>(kReadOpcode + reg));
    QString word = getByte();
    word += getByte();
    clearEEPROM(kCS);
    return word;
}

QString Eeprom::getEEPROM() {
    ReaderState& state = lines_.state();
    const std::uint8_t entry = state.Control;
    QString record;
    record.reserve(kHeadRecordLength);
    for (int reg = 0; reg < kWordCount; reg += 2) {
        record += readEeprom(reg);
        lines_.change(0, kSK);
    }
    state.Control = entry;
    lines_.writeControl();
    lines_.labels().set(Label::lblEEPROM, record);
    return record;
}

} // namespace qvr
