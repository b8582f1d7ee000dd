#include "reader/Reader.h"

#include "core/Clock.h"
#include "core/MessageSink.h"
#include "core/Messages.h"
#include "core/NumberText.h"
#include "core/Settings.h"
#include "head/Eeprom.h"
#include "head/HeadRecord.h"
#include "reader/ReaderHost.h"

#include <QLocale>
#include <QtDebug>
#include <cmath>

namespace qvr {

namespace {
const QString kPCIPort = QStringLiteral("PCIPort");
const QString kScreenLeft = QStringLiteral("ScreenLeft");
const QString kScreenTop = QStringLiteral("ScreenTop");
const QString kDisplay = QStringLiteral("Display");
const QString kPrimary = QStringLiteral("Primary");
const QString kSecondary = QStringLiteral("Secondary");
constexpr std::uint8_t kWavelengthLines = kBuzzerBit | kWavelengthBit;
} // namespace

Reader::Reader(Clock& clock, DaqDriver& driver, SettingsStore& settings, MessageSink& messages,
               QObject* parent)
    : QObject(parent), settings_(settings), messages_(messages), gate_(driver),
      lines_(state_, gate_, labels_), acquisition_(lines_), tmrDelayZero_(clock.createTimer()),
      tmrRead_(clock.createTimer()), measurement_(acquisition_, *tmrRead_, messages_) {
    tmrDelayZero_->setInterval(kDelayZeroMs);
    tmrRead_->setInterval(kReadMs);
    tmrDelayZero_->onTick([this] { tmrDelayZero_Timer(); });
    tmrRead_->onTick([this] { tmrRead_Timer(); });
}

Reader::~Reader() = default;

std::int16_t Reader::storedBoard() const {
    // Board numbers are 16-bit; a text that does not convert, or does not fit, counts as no
    // board chosen rather than as some other board.
    bool ok = false;
    const int n = settings_.read(kPCIPort, QStringLiteral("9999")).trimmed().toInt(&ok);
    if (!ok || n < INT16_MIN || n > INT16_MAX)
        return kNoBoard;
    return static_cast<std::int16_t>(n);
}

void Reader::Form_Load(ReaderHost& host) {
    host_ = &host;
    state_.BoardNum = storedBoard();
    restorePosition();
    state_.Control = kStartupControl;
    if (state_.BoardNum == kNoBoard)
        host.showBoardDialog(); // firstTime
    if (ended_ || !claimBoard())
        return;
    state_.rdrEEPROM = Eeprom(lines_).getEEPROM();
    const WavelengthCaptions captions = parseEEPROM(state_, labels_, settings_, messages_);
    if (ended_)
        return;
    menu_.primaryCaption = captions.primary;
    menu_.secondaryCaption = captions.secondary;
    emit wavelengthMenuChanged();
    if (settings_.read(kDisplay, kPrimary) == kPrimary)
        mnuPrimary_Click();
    else
        mnuSecondary_Click();
    tmrDelayZero_->setEnabled(true);
}

void Reader::restorePosition() {
    WindowPlacement* window = host_ ? host_->placement() : nullptr;
    if (!window)
        return;
    const float left = positionFromText(settings_.read(kScreenLeft, QStringLiteral("100")))
                           .value_or(kDefaultScreenPosition);
    const float top = positionFromText(settings_.read(kScreenTop, QStringLiteral("100")))
                          .value_or(kDefaultScreenPosition);
    const QRectF frame = window->frameTwips();
    const QSizeF screen = window->screenTwips();
    const auto width = static_cast<float>(frame.width());
    const auto height = static_cast<float>(frame.height());
    float x = left;
    float y = top;
    // Only the right and bottom edges are kept on the screen; a negative edge stays.
    if (width + x > static_cast<float>(screen.width()))
        x = static_cast<float>(screen.width()) - width;
    if (height + y > static_cast<float>(screen.height()))
        y = static_cast<float>(screen.height()) - height;
    window->moveTo(x, y);
}

void Reader::storePosition() {
    WindowPlacement* window = host_ ? host_->placement() : nullptr;
    if (!window)
        return;
    const QRectF frame = window->frameTwips();
    storeSetting(kScreenLeft, positionText(static_cast<float>(frame.left())));
    storeSetting(kScreenTop, positionText(static_cast<float>(frame.top())));
}

void Reader::storeSetting(const QString& key, const QString& text) {
    if (!settings_.write(key, text))
        qWarning("QVR100PCI: could not store the setting %s", qPrintable(key));
}

void Reader::Form_Unload() {
    if (ended_)
        return;
    ended_ = true;
    tmrDelayZero_->setEnabled(false);
    tmrRead_->setEnabled(false);
    lines_.writePort(0);
    gate_.close();
    storePosition();
    // Only a head that identified itself owns its serial number; the values a default
    // record or a recovery put in place must not become some real head's gain.
    if (state_.headIdentified)
        storeSetting(QStringLiteral("GainSN") + state_.rdrSN, storedNumberText(state_.rdrGain));
    labels_.flush();
    emit ended();
    if (host_)
        host_->endProcess();
}

void Reader::tmrDelayZero_Timer() {
    if (ended_)
        return;
    if (state_.Control & kBuzzerBit) {
        lines_.change(0, kBuzzerBit);
        return;
    }
    tmrDelayZero_->setEnabled(false);
    measurement_.zero();
    // Shut-down may have run while a caution was open; the zero re-armed tmrRead on return.
    tmrRead_->setEnabled(!ended_);
}

void Reader::tmrRead_Timer() {
    if (ended_)
        return;
    tmrRead_->setEnabled(false);
    measurement_.getA();
}

void Reader::selectWavelength(bool secondary) {
    if (ended_)
        return;
    tmrRead_->setEnabled(false);
    if (secondary)
        lines_.change(kWavelengthLines, 0);
    else
        lines_.change(0, kWavelengthLines);
    labels_.set(Label::WL, labels_.text(secondary ? Label::lblA2 : Label::lblA1));
    menu_.primaryChecked = !secondary;
    menu_.secondaryChecked = secondary;
    emit wavelengthMenuChanged();
    storeSetting(kDisplay, secondary ? kSecondary : kPrimary);
    tmrDelayZero_->setEnabled(true);
}

void Reader::mnuPrimary_Click() {
    selectWavelength(false);
}
void Reader::mnuSecondary_Click() {
    selectWavelength(true);
}

void Reader::mnuZero_Click() {
    if (ended_)
        return;
    tmrRead_->setEnabled(false);
    tmrDelayZero_->setEnabled(true);
}

void Reader::mnuNDF_Click() {
    if (ended_ || !host_)
        return;
    tmrRead_->setEnabled(false);
    messages_.showMessage(text(309));
    if (ended_)
        return;
    host_->showFilterCheck();
    if (ended_)
        return;
    messages_.showMessage(text(310));
    if (ended_)
        return;
    tmrDelayZero_->setEnabled(true);
}

void Reader::mnuPort_Click() {
    if (ended_ || !host_)
        return;
    host_->showBoardDialog();
    claimBoard();
}

bool Reader::claimBoard() {
    if (ended_ || !claimBoard_ || state_.BoardNum == kNoBoard)
        return !ended_;
    const QString why = claimBoard_(state_.BoardNum);
    if (why.isEmpty())
        return true;
    // Another copy of this program drives the card: not one more write to it, nothing stored.
    ended_ = true;
    boardRefused_ = true;
    tmrDelayZero_->setEnabled(false);
    tmrRead_->setEnabled(false);
    gate_.close();
    messages_.showMessage(why);
    labels_.flush();
    emit ended();
    if (host_)
        host_->endProcess();
    return false;
}

void Reader::chkLED_Click(bool ticked) {
    if (ended_)
        return;
    ticked ? lines_.LedOn() : lines_.LedOff();
}

void Reader::chkBuzzer_Click(bool ticked) {
    if (ended_)
        return;
    ticked ? lines_.buzzerOn() : lines_.buzzerOff();
}

} // namespace qvr
