#include "reader/Reader.h"

#include "core/Clock.h"
#include "core/MessageSink.h"
#include "core/Messages.h"
#include "core/NumberText.h"
#include "core/Settings.h"
#include "head/Eeprom.h"
#include "head/HeadRecord.h"
#include "reader/ReaderHost.h"

#include <QtDebug>
#include <utility>

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
constexpr int kFilmInMessage = 1012;
constexpr int kDarkerMessage = 1013;
constexpr int kBoardInUseMessage = 1304;
} // namespace

Reader::Reader(Clock& clock, DaqDriver& driver, SettingsStore& settings, MessageSink& messages,
               QObject* parent)
    : QObject(parent), clock_(clock), settings_(settings), messages_(messages, modal_),
      gate_(driver), faults_(labels_), lines_(state_, gate_, labels_),
      acquisition_(lines_, &faults_), clearPath_(settings, clock),
      tmrDelayZero_(clock.createTimer()), tmrRead_(clock.createTimer()),
      tmrHeadRetry_(clock.createTimer()),
      measurement_(acquisition_, *tmrRead_, messages_, &clearPath_) {
    tmrDelayZero_->setInterval(kDelayZeroMs);
    tmrRead_->setInterval(kReadMs);
    tmrHeadRetry_->setInterval(kHeadRetryMs);
    tmrDelayZero_->onTick([this] { tmrDelayZero_Timer(); });
    tmrRead_->onTick([this] { tmrRead_Timer(); });
    tmrHeadRetry_->onTick([this] { tmrHeadRetry_Timer(); });
}

Reader::~Reader() = default;

std::int16_t Reader::storedBoard() const {
    // Board numbers are 16-bit; a text that does not convert, or does not fit, counts as no
    // board chosen rather than as some other board, and so does a number that is none.
    bool ok = false;
    const int n = settings_.read(kPCIPort, QStringLiteral("9999")).trimmed().toInt(&ok);
    if (!ok || n < 0 || n > INT16_MAX)
        return kNoBoard;
    return static_cast<std::int16_t>(n);
}

QString Reader::claim(std::int16_t board) {
    if (!claimBoard_ || board == kNoBoard || board < 0)
        return {};
    return claimBoard_(board);
}

void Reader::Form_Load(ReaderHost& host) {
    host_ = &host;
    state_.BoardNum = storedBoard();
    restorePosition();
    state_.Control = kStartupControl;
    if (state_.BoardNum == kNoBoard)
        showBoardDialog(); // firstTime
    if (!settleStoredBoard() || !readHead())
        return;
    // The command arms the delayed zero once the head is known.
    if (settings_.read(kDisplay, kPrimary) == kPrimary)
        mnuPrimary_Click();
    else
        mnuSecondary_Click();
}

bool Reader::settleStoredBoard() {
    if (ended_)
        return false;
    const QString why = claim(state_.BoardNum);
    if (why.isEmpty())
        return true;
    if (!host_->offersBoardChoice()) {
        endRefused(why);
        return false;
    }
    // Another copy of this program drives the card: not one call reaches it from here. The
    // user may choose another board; without one no card is read and nothing is stored.
    const std::int16_t busy = state_.BoardNum;
    messages_.showMessage(why + QStringLiteral(". ") + text(kBoardInUseMessage));
    if (!ended_)
        showBoardDialog();
    if (state_.BoardNum == busy)
        state_.BoardNum = kNoBoard;
    return !ended_;
}

void Reader::endRefused(const QString& why) {
    // Not one more write to the card, nothing stored.
    ended_ = true;
    boardRefused_ = true;
    tmrDelayZero_->setEnabled(false);
    tmrRead_->setEnabled(false);
    tmrHeadRetry_->setEnabled(false);
    gate_.close();
    messages_.showMessage(why);
    labels_.flush();
    emit ended();
    if (host_)
        host_->endProcess();
}

bool Reader::readHead() {
    tmrHeadRetry_->setEnabled(false);
    state_.callFailure = 0;
    state_.rdrEEPROM = Eeprom(lines_).getEEPROM();
    if (state_.callFailure != 0) {
        const QString detail = failureText(state_.callFailure, gate_.lastError());
        showUnreadHead(detail);
        // Said once; the reader then tries again by itself, quietly.
        if (!std::exchange(headReadFailed_, true)) {
            messages_.showMessage(text(kHeadReadFailedMessage) + detail);
            if (ended_)
                return false;
        }
        tmrHeadRetry_->setEnabled(true);
        return true;
    }
    headReadFailed_ = false;
    headKnown_ = true;
    zeros_ = {}; // another head, or one that may have been changed meanwhile
    faults_.clearHead();
    const WavelengthCaptions captions = parseEEPROM(state_, labels_, settings_, messages_);
    if (ended_)
        return false;
    menu_.primaryCaption = captions.primary;
    menu_.secondaryCaption = captions.secondary;
    emit wavelengthMenuChanged();
    return true;
}

void Reader::showUnreadHead(const QString& detail) {
    // Bits from a card that did not answer are no head record: nothing of it is shown or used,
    // no gain is written back under a serial number read from noise, and no reading is taken.
    headKnown_ = false;
    tmrDelayZero_->setEnabled(false);
    tmrRead_->setEnabled(false);
    faults_.raiseHead(QStringLiteral("head unread: %1").arg(detail));
    state_.rdrEEPROM.clear();
    state_.rdrModel.clear();
    state_.rdrSN.clear();
    state_.rdrWL1.clear();
    state_.rdrWL2.clear();
    state_.rdrGain = 0;
    state_.headIdentified = false;
    // Nor are the switches read while it is: what they showed is no longer so.
    for (Label l : {Label::lblModel, Label::lblSN, Label::lblWL1, Label::lblWL2, Label::lblGain,
                    Label::lblRegGain, Label::lblPresent, Label::lblButton})
        if (labels_.text(l) != kNotReadText)
            labels_.set(l, kNotReadText);
    labels_.set(Label::lblEEPROM, kNotReadText); // over the bits the read just showed
    labels_.set(Label::lblA1, QStringLiteral("WL1"));
    labels_.set(Label::lblA2, QStringLiteral("WL2"));
    menu_.primaryCaption = text(116);
    menu_.secondaryCaption = text(119);
    emit wavelengthMenuChanged();
}

void Reader::tmrHeadRetry_Timer() {
    if (ended_)
        return;
    tmrHeadRetry_->setEnabled(false);
    if (readHead() && headKnown_)
        selectWavelength(menu_.secondaryChecked);
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
    const auto [x, y] = onScreen(left, top, *window);
    window->moveTo(x, y);
}

void Reader::keepOnScreen() {
    WindowPlacement* window = host_ ? host_->placement() : nullptr;
    if (!window)
        return;
    const QRectF frame = window->frameTwips();
    const auto left = static_cast<float>(frame.left());
    const auto top = static_cast<float>(frame.top());
    // A window the rule leaves where it is is not moved: its stored twips stay exact.
    if (const auto [x, y] = onScreen(left, top, *window); x != left || y != top)
        window->moveTo(x, y);
}

std::pair<float, float> Reader::onScreen(float left, float top, const WindowPlacement& window) {
    const QRectF frame = window.frameTwips();
    const QSizeF screen = window.screenTwips();
    const auto width = static_cast<float>(frame.width());
    const auto height = static_cast<float>(frame.height());
    // Only the right and bottom edges are kept on the screen; a negative edge stays.
    if (width + left > static_cast<float>(screen.width()))
        left = static_cast<float>(screen.width()) - width;
    if (height + top > static_cast<float>(screen.height()))
        top = static_cast<float>(screen.height()) - height;
    return {left, top};
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
    tmrHeadRetry_->setEnabled(false);
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
    if (!headKnown_) {
        tmrDelayZero_->setEnabled(false); // the head's read arms it again
        return;
    }
    if (state_.Control & kBuzzerBit) {
        state_.callFailure = 0;
        lines_.change(0, kBuzzerBit);
        notePortCalls();
        return;
    }
    tmrDelayZero_->setEnabled(false);
    const ZeroResult zero = measurement_.zero(trustNextZero_);
    if (ended_) {
        // Shut-down ran while a caution was open; the zero re-armed tmrRead on return.
        tmrRead_->setEnabled(false);
        return;
    }
    if (zero.outcome == ZeroResult::FilmIn && reuseZero_ && useStoredZero())
        return;
    noteZero(zero);
    if (zero.outcome != ZeroResult::Taken) {
        // The user (or start-up) asked for a zero: it comes once the film is out, the path
        // is clear and the card answers.
        tmrDelayZero_->setEnabled(true);
        return;
    }
    const bool secondary = menu_.secondaryChecked;
    zeros_[secondary] = {true, state_.z1, clock_.nowMs(), zero.caution};
    trustNextZero_ = false;
    reuseZero_ = false;
    zeroCaution_ = zero.caution;
    firstReadingDue_ = true;
    if (std::exchange(zeroBoth_, false))
        zeroOtherWavelength();
}

bool Reader::useStoredZero() {
    const StoredZero& stored = zeros_[menu_.secondaryChecked];
    if (!stored.known || clock_.nowMs() - stored.takenMs >= kStoredZeroAgeMs)
        return false;
    reuseZero_ = false;
    measurement_.useZero(stored.zero);
    if (lastWait_ != ZeroResult::Taken)
        faults_.log(QStringLiteral("the zero taken at this wavelength before the film went in "
                                   "is in use"));
    faults_.setNotice(stored.caution ? text(stored.caution) : QString());
    lastWait_ = ZeroResult::Taken;
    setZeroRefused(false);
    zeroCaution_ = stored.caution;
    firstReadingDue_ = true;
    return true;
}

void Reader::zeroOtherWavelength() {
    const bool selected = menu_.secondaryChecked;
    tmrRead_->setEnabled(false);
    setWavelengthLine(!selected);
    selectClearPath(!selected);
    const ZeroResult other = measurement_.zero();
    if (ended_) {
        tmrRead_->setEnabled(false);
        return;
    }
    if (other.outcome == ZeroResult::Taken)
        zeros_[!selected] = {true, state_.z1, clock_.nowMs(), other.caution};
    else
        // Not a reason to hold the readings: that wavelength is zeroed when it is chosen.
        faults_.log(QStringLiteral("no zero at %1 with this one; it is taken when chosen")
                        .arg(selected ? state_.rdrWL1 : state_.rdrWL2));
    setWavelengthLine(selected);
    selectClearPath(selected);
    measurement_.useZero(zeros_[selected].zero);
}

void Reader::setWavelengthLine(bool secondary) {
    state_.callFailure = 0;
    if (secondary)
        lines_.change(kWavelengthBit, 0);
    else
        lines_.change(0, kWavelengthBit);
    notePortCalls();
}

void Reader::selectClearPath(bool secondary) {
    if (headKnown_)
        clearPath_.select(state_.rdrSN, secondary ? state_.rdrWL2 : state_.rdrWL1,
                          state_.headIdentified);
}

void Reader::noteZero(const ZeroResult& zero) {
    // A fault speaks for itself; a wait that holds is said once, not at every retry.
    if (zero.outcome == ZeroResult::Failed ||
        (zero.outcome == lastWait_ && zero.outcome != ZeroResult::Taken))
        return;
    switch (zero.outcome) {
    case ZeroResult::FilmIn:
        faults_.setNotice(text(kFilmInMessage));
        faults_.log(QStringLiteral("waiting to zero: %1").arg(faults_.notice()));
        break;
    case ZeroResult::Darker:
        faults_.setNotice(text(kDarkerMessage) + formatFixed(zero.darkness, 3));
        faults_.log(QStringLiteral("zero refused, tried again every half second: %1")
                        .arg(faults_.notice()));
        break;
    case ZeroResult::Taken:
        if (lastWait_ != ZeroResult::Taken)
            faults_.log(QStringLiteral("zero taken"));
        faults_.setNotice(zero.caution ? text(zero.caution) : QString());
        break;
    case ZeroResult::Failed:
        break;
    }
    lastWait_ = zero.outcome;
    setZeroRefused(zero.outcome == ZeroResult::Darker);
}

void Reader::setZeroRefused(bool refused) {
    if (refused == zeroRefused_)
        return;
    zeroRefused_ = refused;
    emit zeroRefusedChanged();
}

void Reader::tmrRead_Timer() {
    if (ended_)
        return;
    tmrRead_->setEnabled(false);
    // Only a reading against the new zero is one: State follows it, not the zero.
    if (measurement_.getA() && std::exchange(firstReadingDue_, false))
        faults_.setPhase(zeroCaution_ == 1011 ? Phase::Caution : Phase::Reading);
}

void Reader::armZero(bool both, bool reuse) {
    faults_.setPhase(Phase::Zeroing);
    firstReadingDue_ = false;
    zeroBoth_ = both;
    reuseZero_ = reuse;
    if (headKnown_)
        tmrDelayZero_->setEnabled(true);
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
    selectClearPath(secondary);
    // The wavelength left keeps its zero unless it has none yet (start-up, another head).
    armZero(!zeros_[!secondary].known, true);
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
    armZero(true);
}

void Reader::mnuAcceptClearPath_Click() {
    // The delayed zero is armed while it is refused; its next try is trusted.
    if (!ended_ && zeroRefused_)
        trustNextZero_ = true;
}

void Reader::mnuNDF_Click() {
    if (ended_ || !host_)
        return;
    // No zero or reading of the main cycle may run with the filter holder in, and no head
    // read that would arm one.
    tmrRead_->setEnabled(false);
    tmrDelayZero_->setEnabled(false);
    tmrHeadRetry_->setEnabled(false);
    faults_.setPhase(Phase::FilterCheck);
    messages_.showMessage(text(309));
    if (ended_)
        return;
    ++modal_;
    host_->showFilterCheck();
    --modal_;
    if (ended_)
        return;
    messages_.showMessage(text(310));
    if (ended_)
        return;
    armZero(true);
    if (!headKnown_)
        tmrHeadRetry_->setEnabled(true);
}

void Reader::mnuPort_Click() {
    if (ended_ || !host_)
        return;
    const std::int16_t before = state_.BoardNum;
    // The dialog claims the board it accepts; one another program drives is refused there.
    showBoardDialog();
    // Cancel discards the list; Accept keeps it.
    const bool accepted = boards_.isLoaded();
    if (ended_ || !accepted || (state_.BoardNum == before && headKnown_))
        return;
    // Another board, another head: its own record, then a fresh zero at the chosen
    // wavelength. A reading against the old board's zero would be a wrong number.
    tmrRead_->setEnabled(false);
    tmrDelayZero_->setEnabled(false);
    faults_.setPhase(Phase::Starting);
    if (readHead() && headKnown_)
        selectWavelength(menu_.secondaryChecked);
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

void Reader::showBoardDialog() {
    ++modal_;
    host_->showBoardDialog();
    --modal_;
}

CommandRefusal Reader::refusal() const {
    if (settings_.read(kBusCommandsKey, QStringLiteral("1")).trimmed() == QLatin1String("0"))
        return CommandRefusal::ReadOnly;
    if (faults_.phase() == Phase::FilterCheck)
        return CommandRefusal::FilterCheck;
    if (modal_ > 0)
        return CommandRefusal::Busy;
    if (ended_ || !headKnown_ || faults_.faulty())
        return CommandRefusal::Fault;
    return CommandRefusal::None;
}

CommandRefusal Reader::zeroCommand() {
    const CommandRefusal why = refusal();
    if (why == CommandRefusal::None)
        mnuZero_Click();
    return why;
}

CommandRefusal Reader::wavelengthCommand(bool secondary) {
    const CommandRefusal why = refusal();
    if (why == CommandRefusal::None)
        selectWavelength(secondary);
    return why;
}

} // namespace qvr
