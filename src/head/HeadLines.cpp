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

std::optional<std::int16_t> HeadLines::readStatus() {
    const int status = driver_.cbDIn(state_.BoardNum, AUXPORT, state_.Status);
    state_.recordStatus(status);
    if (status != 0)
        return std::nullopt;
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
    const std::optional<std::int16_t> in = readStatus();
    const bool down = in && (*in & 2) != 0;
    labels_.set(Label::lblButton, !in ? kNotReadText : down ? kButtonDown : kButtonUp);
    return down;
}

} // namespace qvr
