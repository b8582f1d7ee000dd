#pragma once
// The reader program without its windows: the state, the head, both timers, start-up,
// the reading cycle, the menu commands and shut-down. The main window and the run without
// windows are thin layers over this.

#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "daq/GatedDriver.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"
#include "reader/BoardSelection.h"

#include <QObject>
#include <functional>
#include <memory>

namespace qvr {

class Clock;
class MessageSink;
class ReaderHost;
class SettingsStore;
class Timer;

inline constexpr int kDelayZeroMs = 500;
inline constexpr int kReadMs = 600;
inline constexpr float kDefaultScreenPosition = 100;

// Captions and check marks of the two wavelength items.
struct WavelengthMenu {
    QString primaryCaption = QStringLiteral("WL1 nm");
    QString secondaryCaption = QStringLiteral("WL2 nm");
    bool primaryChecked = false;
    bool secondaryChecked = false;
};

class Reader : public QObject {
    Q_OBJECT
public:
    Reader(Clock& clock, DaqDriver& driver, SettingsStore& settings, MessageSink& messages,
           QObject* parent = nullptr);
    ~Reader() override;

    ReaderState& state() { return state_; }
    LabelModel& labels() { return labels_; }
    HeadLines& lines() { return lines_; }
    Acquisition& acquisition() { return acquisition_; }
    DaqDriver& driver() { return gate_; }
    SettingsStore& settings() { return settings_; }
    MessageSink& messages() { return messages_; }
    BoardSelection& boardSelection() { return boards_; }
    Timer& tmrDelayZero() { return *tmrDelayZero_; }
    Timer& tmrRead() { return *tmrRead_; }
    const WavelengthMenu& wavelengthMenu() const { return menu_; }
    bool hasEnded() const { return ended_; }

    // The stored board number; kNoBoard when none is stored or the text does not convert.
    std::int16_t storedBoard() const;

    // Called with the board each time one is settled (start-up, Setup, Port): claims the card
    // for this program. A non-empty text says why it cannot: the reader says it and ends
    // without touching the card again, and boardRefused() turns true.
    void setBoardClaim(std::function<QString(std::int16_t board)> claim) {
        claimBoard_ = std::move(claim);
    }
    bool boardRefused() const { return boardRefused_; }

    // Start-up. host stays in use until shut-down.
    void Form_Load(ReaderHost& host);
    // Shut-down: head port to 0, position and gain stored, process ended through the host.
    // Runs once; later calls do nothing.
    void Form_Unload();
    void mnuExit_Click() { Form_Unload(); }

    void tmrDelayZero_Timer();
    void tmrRead_Timer();
    void mnuPrimary_Click();
    void mnuSecondary_Click();
    void mnuZero_Click();
    void mnuNDF_Click();
    void mnuPort_Click();
    void chkLED_Click(bool ticked);
    void chkBuzzer_Click(bool ticked);

signals:
    void wavelengthMenuChanged();
    // Shut-down has run; nothing of the reader runs any more.
    void ended();

private:
    void selectWavelength(bool secondary);
    void restorePosition();
    void storePosition();
    void storeSetting(const QString& key, const QString& text);
    bool claimBoard();

    SettingsStore& settings_;
    MessageSink& messages_;
    GatedDriver gate_;
    ReaderState state_;
    LabelModel labels_;
    HeadLines lines_;
    Acquisition acquisition_;
    std::unique_ptr<Timer> tmrDelayZero_;
    std::unique_ptr<Timer> tmrRead_;
    Measurement measurement_;
    BoardSelection boards_;
    WavelengthMenu menu_;
    ReaderHost* host_ = nullptr;
    bool ended_ = false;
    std::function<QString(std::int16_t)> claimBoard_;
    bool boardRefused_ = false;
};

} // namespace qvr
