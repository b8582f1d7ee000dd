#pragma once
// The reader program without its windows: the state, the head, the timers, start-up, the
// reading cycle, the menu commands and shut-down. The main window and the run without windows
// are thin layers over this.

#include "core/FaultState.h"
#include "core/LabelModel.h"
#include "core/MessageSink.h"
#include "core/ReaderCommands.h"
#include "core/ReaderState.h"
#include "daq/GatedDriver.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"
#include "measure/ClearPath.h"
#include "measure/Measurement.h"
#include "reader/BoardSelection.h"

#include <QObject>
#include <array>
#include <functional>
#include <memory>
#include <utility>

namespace qvr {

class Clock;
class ReaderHost;
class SettingsStore;
class WindowPlacement;
class Timer;

inline constexpr int kDelayZeroMs = 500;
inline constexpr int kReadMs = 600;
inline constexpr int kHeadRetryMs = 3000;
inline constexpr float kDefaultScreenPosition = 100;
// A change of wavelength with the film in uses the zero taken at that wavelength with the
// film out, when it is younger than this; an older one waits for the film to come out.
inline constexpr qint64 kStoredZeroAgeMs = 10 * 60 * 1000;
// The setting that lets other programs run Zero and the wavelength commands: "1" (the
// default) or "0".
inline const QString kBusCommandsKey = QStringLiteral("BusCommands");

// Captions and check marks of the two wavelength items.
struct WavelengthMenu {
    QString primaryCaption = QStringLiteral("WL1 nm");
    QString secondaryCaption = QStringLiteral("WL2 nm");
    bool primaryChecked = false;
    bool secondaryChecked = false;
};

class Reader : public QObject, public ReaderCommands {
    Q_OBJECT
public:
    Reader(Clock& clock, DaqDriver& driver, SettingsStore& settings, MessageSink& messages,
           QObject* parent = nullptr);
    ~Reader() override;

    ReaderState& state() { return state_; }
    LabelModel& labels() { return labels_; }
    FaultState& faults() { return faults_; }
    HeadLines& lines() { return lines_; }
    Acquisition& acquisition() { return acquisition_; }
    ClearPath& clearPath() { return clearPath_; }
    DaqDriver& driver() { return gate_; }
    SettingsStore& settings() { return settings_; }
    MessageSink& messages() { return messages_; }
    // A message box or dialog opened (true) or closed (false) outside the reader's own
    // calls: commands from other programs wait for none of them, they are refused.
    void noteModal(bool open) { modal_ += open ? 1 : -1; }
    BoardSelection& boardSelection() { return boards_; }
    Timer& tmrDelayZero() { return *tmrDelayZero_; }
    Timer& tmrRead() { return *tmrRead_; }
    Timer& tmrHeadRetry() { return *tmrHeadRetry_; }
    const WavelengthMenu& wavelengthMenu() const { return menu_; }
    bool hasEnded() const { return ended_; }
    // The head record has been read with every call succeeding (or such a read found no head).
    bool headKnown() const { return headKnown_; }
    // The last zero was refused as darker than the head's clear path.
    bool zeroRefused() const { return zeroRefused_; }

    // The stored board number; kNoBoard when none is stored, the text does not convert, or it
    // names no board (an earlier version stored -1 for "none chosen").
    std::int16_t storedBoard() const;

    // Called with the board each time one is settled (start-up, the board dialog's Accept):
    // claims the card for this program. A non-empty text says why it cannot.
    void setBoardClaim(std::function<QString(std::int16_t board)> claim) {
        claimBoard_ = std::move(claim);
    }
    // Why board cannot be this program's, or empty when it is now.
    QString claim(std::int16_t board);
    // Start-up found the stored board driven by another program, with nobody to choose
    // another: the reader said so and ended without touching the card.
    bool boardRefused() const { return boardRefused_; }

    // Start-up. host stays in use until shut-down.
    void Form_Load(ReaderHost& host);
    // Start-up's on-screen rule once more, with the window's outer frame, which is known only
    // once the window manager has framed the shown window.
    void keepOnScreen();
    // Shut-down: head port to 0, position and gain stored, process ended through the host.
    // Runs once; later calls do nothing.
    void Form_Unload();
    void mnuExit_Click() { Form_Unload(); }

    void tmrDelayZero_Timer();
    void tmrRead_Timer();
    void tmrHeadRetry_Timer();
    void mnuPrimary_Click();
    void mnuSecondary_Click();
    void mnuZero_Click();
    void mnuNDF_Click();
    // Accepting another board (or any board while the head is unread) reads that board's head
    // record and takes a fresh zero.
    void mnuPort_Click();
    // Setup, Accept this zero as clear path (confirmed by the user): the next zero is taken
    // whatever the clear path says, and becomes it.
    void mnuAcceptClearPath_Click();
    void chkLED_Click(bool ticked);
    void chkBuzzer_Click(bool ticked);

    // Zero and the wavelength commands for other programs: run at once, or refused.
    CommandRefusal zeroCommand() override;
    CommandRefusal wavelengthCommand(bool secondary) override;

signals:
    void wavelengthMenuChanged();
    void zeroRefusedChanged();
    // Shut-down has run; nothing of the reader runs any more.
    void ended();

private:
    // Counts the message boxes the reader has open.
    class CountedMessages : public MessageSink {
    public:
        CountedMessages(MessageSink& inner, int& open) : inner_(inner), open_(open) {}
        void showMessage(const QString& text) override {
            ++open_;
            inner_.showMessage(text);
            --open_;
        }

    private:
        MessageSink& inner_;
        int& open_;
    };
    // A zero taken with the film out at one wavelength, for a change of wavelength with the
    // film in.
    struct StoredZero {
        bool known = false;
        double zero = 0;
        qint64 takenMs = 0; // on the clock's run time
        int caution = 0;
    };

    CommandRefusal refusal() const;
    void showBoardDialog();
    void selectWavelength(bool secondary);
    // The wavelength line alone (no beep), for zeroing the other wavelength.
    void setWavelengthLine(bool secondary);
    void selectClearPath(bool secondary);
    // With the film in after a change of wavelength: the stored zero of the selected
    // wavelength, when young enough, instead of waiting. False when there is none.
    bool useStoredZero();
    // The zero just taken at the selected wavelength stands; the other is zeroed at once on
    // the same empty path and the selected zero is put back in use.
    void zeroOtherWavelength();
    // Reads and checks the head record, sets the captions; false when shut-down ran meanwhile.
    bool readHead();
    void showUnreadHead(const QString& detail);
    // Arms the delayed zero, which waits for a head that has not been read yet.
    // both: zero the other wavelength as well. reuse: a young stored zero will do.
    void armZero(bool both, bool reuse = false);
    // The notice, the log and the Setup item after a zero that was not a fault.
    void noteZero(const ZeroResult& zero);
    void setZeroRefused(bool refused);
    // Raises the fault when a port call since callFailure was last cleared failed.
    void notePortCalls();
    bool settleStoredBoard();
    void endRefused(const QString& why);
    void restorePosition();
    // Start-up's rule for a window whose frame would stand at left, top.
    static std::pair<float, float> onScreen(float left, float top, const WindowPlacement& window);
    void storePosition();
    void storeSetting(const QString& key, const QString& text);

    Clock& clock_;
    SettingsStore& settings_;
    int modal_ = 0; // message boxes and dialogs open
    CountedMessages messages_;
    GatedDriver gate_;
    ReaderState state_;
    LabelModel labels_;
    FaultState faults_;
    HeadLines lines_;
    Acquisition acquisition_;
    ClearPath clearPath_;
    std::unique_ptr<Timer> tmrDelayZero_;
    std::unique_ptr<Timer> tmrRead_;
    std::unique_ptr<Timer> tmrHeadRetry_;
    Measurement measurement_;
    BoardSelection boards_;
    WavelengthMenu menu_;
    ReaderHost* host_ = nullptr;
    bool ended_ = false;
    std::function<QString(std::int16_t)> claimBoard_;
    bool boardRefused_ = false;
    bool headKnown_ = false;
    bool headReadFailed_ = false;
    bool trustNextZero_ = false;
    bool zeroRefused_ = false;
    // Set when a zero is taken; the first good reading after it decides State.
    bool firstReadingDue_ = false;
    int zeroCaution_ = 0;
    ZeroResult::Outcome lastWait_ = ZeroResult::Taken; // FilmIn or Darker while one holds
    std::array<StoredZero, 2> zeros_;                  // primary, secondary; of the head read last
    bool zeroBoth_ = false;
    bool reuseZero_ = false;
};

} // namespace qvr
