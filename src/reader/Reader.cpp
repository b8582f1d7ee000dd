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
constexpr int kHeadReadFailedMessage = 1104;
} // namespace

Reader::Reader(Clock& clock, DaqDriver& driver, SettingsStore& settings, MessageSink& messages,
               QObject* parent)
    : QObject(parent), settings_(settings), messages_(messages), gate_(driver), faults_(labels_),
      lines_(state_, gate_, labels_), acquisition_(lines_, &faults_),
      tmrDelayZero_(clock.createTimer()), tmrRead_(clock.createTimer()),
      measurement_(acquisition_, *tmrRead_, messages_) {
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
    if (ended_ || !claimBoard() || !readHead())
        return;
    if (settings_.read(kDisplay, kPrimary) == kPrimary)
        mnuPrimary_Click();
    else
        mnuSecondary_Click();
    tmrDelayZero_->setEnabled(true);
}

bool Reader::readHead() {
    state_.callFailure = 0;
    state_.rdrEEPROM = Eeprom(lines_).getEEPROM();
    headReadFailed_ = state_.callFailure != 0;
    if (headReadFailed_) {
        // Bits from a card that did not answer are no head record: the head is not known,
        // so no stored gain is written back under a serial number read from noise.
        const QString detail = failureText(state_.callFailure, gate_.lastError());
        faults_.raise(detail);
        state_.rdrEEPROM.clear();
        messages_.showMessage(text(kHeadReadFailedMessage) + detail);
        if (ended_)
            return false;
    }
    const WavelengthCaptions captions = parseEEPROM(state_, labels_, settings_, messages_);
    if (ended_)
        return false;
    menu_.primaryCaption = captions.primary;
    menu_.secondaryCaption = captions.secondary;
    emit wavelengthMenuChanged();
    return true;
}

void Reader::notePortCalls() {
    if (state_.callFailure != 0)
        faults_.raise(failureText(state_.callFailure, gate_.lastError()));
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
        state_.callFailure = 0;
        lines_.change(0, kBuzzerBit);
        notePortCalls();
        return;
    }
    tmrDelayZero_->setEnabled(false);
    const bool zeroed = measurement_.zero();
    if (ended_) {
        // Shut-down ran while a caution was open; the zero re-armed tmrRead on return.
        tmrRead_->setEnabled(false);
        return;
    }
    if (!zeroed) {
        // The user (or start-up) asked for a zero; it comes as soon as the card answers.
        tmrDelayZero_->setEnabled(true);
        return;
    }
    faults_.setPhase(Phase::Reading);
    tmrRead_->setEnabled(true);
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
    state_.callFailure = 0;
    if (secondary)
        lines_.change(kWavelengthLines, 0);
    else
        lines_.change(0, kWavelengthLines);
    notePortCalls();
    labels_.set(Label::WL, labels_.text(secondary ? Label::lblA2 : Label::lblA1));
    menu_.primaryChecked = !secondary;
    menu_.secondaryChecked = secondary;
    emit wavelengthMenuChanged();
    storeSetting(kDisplay, secondary ? kSecondary : kPrimary);
    faults_.setPhase(Phase::Zeroing);
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
    faults_.setPhase(Phase::Zeroing);
    tmrDelayZero_->setEnabled(true);
}

void Reader::mnuNDF_Click() {
    if (ended_ || !host_)
        return;
    // No zero or reading of the main cycle may run with the filter holder in.
    tmrRead_->setEnabled(false);
    tmrDelayZero_->setEnabled(false);
    faults_.setPhase(Phase::FilterCheck);
    messages_.showMessage(text(309));
    if (ended_)
        return;
    host_->showFilterCheck();
    if (ended_)
        return;
    messages_.showMessage(text(310));
    if (ended_)
        return;
    faults_.setPhase(Phase::Zeroing);
    tmrDelayZero_->setEnabled(true);
}

void Reader::mnuPort_Click() {
    if (ended_ || !host_)
        return;
    const std::int16_t before = state_.BoardNum;
    host_->showBoardDialog();
    if (!claimBoard())
        return;
    // Cancel discards the list; Accept keeps it.
    const bool accepted = boards_.isLoaded();
    if (ended_ || !accepted || (state_.BoardNum == before && !headReadFailed_))
        return;
    // Another board, another head: its own record, then a fresh zero at the chosen
    // wavelength. A reading against the old board's zero would be a wrong number.
    tmrRead_->setEnabled(false);
    tmrDelayZero_->setEnabled(false);
    faults_.setPhase(Phase::Starting);
    if (!readHead())
        return;
    selectWavelength(menu_.secondaryChecked);
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
    state_.callFailure = 0;
    ticked ? lines_.LedOn() : lines_.LedOff();
    notePortCalls();
}

void Reader::chkBuzzer_Click(bool ticked) {
    if (ended_)
        return;
    state_.callFailure = 0;
    ticked ? lines_.buzzerOn() : lines_.buzzerOff();
    notePortCalls();
}

} // namespace qvr
