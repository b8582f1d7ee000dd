#include "head/HeadLines.h"

#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "daq/Driver.h"

namespace qvr {

namespace {
const QString kButtonDown = QStringLiteral("Button Down");
const QString kButtonUp = QStringLiteral("Button Up");
} // namespace

HeadLines::HeadLines(ReaderState& state, DaqDriver& driver, LabelModel& labels)
    : state_(state), driver_(driver), labels_(labels) {}

void HeadLines::change(std::uint8_t raise, std::uint8_t lower) {
    state_.Control = static_cast<std::uint8_t>((state_.Control | raise) & ~lower);
    writeControl();
}

void HeadLines::writeControl() {
    writePort(state_.Control);
}

void HeadLines::writePort(std::uint16_t value) {
    state_.recordStatus(driver_.cbDOut(state_.BoardNum, AUXPORT, value));
}

std::int16_t HeadLines::readStatus() {
    state_.recordStatus(driver_.cbDIn(state_.BoardNum, AUXPORT, state_.Status));
    return state_.Status;
}

void HeadLines::LedOn() {
    change(kLedBit, 0);
}
void HeadLines::LedOff() {
    change(0, kLedBit);
}
void HeadLines::buzzerOn() {
    change(kBuzzerBit, 0);
}
void HeadLines::buzzerOff() {
    change(0, kBuzzerBit);
}

bool HeadLines::pushButton() {
    const bool down = (readStatus() & 2) != 0;
    labels_.set(Label::lblButton, down ? kButtonDown : kButtonUp);
    return down;
}

} // namespace qvr
