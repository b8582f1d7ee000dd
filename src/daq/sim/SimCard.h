#pragma once
// The simulated PCI-DAS08 with a reader head on its cable, behind the driver contract.
//
// Head port outputs (low 8 bits of cbDOut): bit 0 buzzer / EEPROM SK, bit 1 wavelength
// select, bit 2 LED / EEPROM DI, bit 3 EEPROM CS; the EEPROM lines are inverted (port bit 0 =
// line high). Inputs (cbDIn): bit 0 film switch (0 = film), bit 1 push button (1 = pressed),
// bit 2 EEPROM DO (0 = DO high). The detector sees volts = gain x (lamp - od) plus noise.

#include "daq/Driver.h"
#include "daq/sim/Eeprom93C46.h"
#include "daq/sim/Scenario.h"

#include <QObject>
#include <memory>
#include <random>

namespace qvr {
class Clock;
}

namespace qvr::sim {

class SimCard : public QObject, public DaqDriver {
    Q_OBJECT
public:
    // Events fall due on clock's nowMs(), counted from construction; without a clock, on
    // the process's monotonic time.
    explicit SimCard(Scenario scenario, const Clock* clock = nullptr);
    ~SimCard() override;

    int cbAIn(int board, int chan, int range, std::int16_t& value) override;
    int cbDIn(int board, int port, std::int16_t& value) override;
    int cbDOut(int board, int port, std::uint16_t value) override;
    int cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) override;
    int cbGetBoardName(int board, char* name) override;

    // The conditions as they stand now (scenario, events and live changes).
    const Scenario& conditions() const { return s_; }

    // Live changes, as a user at the head would make them.
    void setHolder(Holder holder);
    void setFilmPresent(bool present);
    void setFilmOd(int wavelength, double od); // wavelength 0 (first) or 1 (second)
    void setFilterInserted(Filter filter);
    void setLamp(double lamp);
    void setNoise(double noise);
    void setButtonHeld(bool held);

    // Applies every event that has fallen due; the driver calls do this themselves.
    void applyDueEvents();

    // The head port's output lines as last written (0 before the first write).
    std::uint8_t outputLines() const { return out_; }
    bool ledOn() const { return (out_ & 4) != 0; }
    bool buzzerOn() const { return (out_ & 1) != 0; }
    bool secondWavelength() const { return (out_ & 2) != 0; }
    bool chipSelected() const { return (out_ & 8) == 0; } // CS is inverted at the port
    // What cbDIn on the head board reads now.
    std::uint8_t inputLines() const;
    // Count the converter gives now, before noise.
    int idealCount() const;
    // The 64 bytes of the record the EEPROM carries (all 0xFF with the blank fault).
    QByteArray record() const;
    // Number of the board the head is wired to, or -1 when no board carries it.
    int headBoard() const;

signals:
    // An output line changed (a port write with a new value).
    void linesChanged();
    // The head's conditions changed (live change or event).
    void conditionsChanged();

private:
    const Board* findBoard(int board) const;
    bool headOn(int board) const;
    bool failNow(CallKind kind);
    double gaussian();
    void conditionsUpdated();
    void feedEeprom();
    void refreshEeprom();
    double pathOd() const;
    double volts(int board, int chan) const;

    Scenario s_;
    const Clock* clock_;
    std::unique_ptr<Clock> ownClock_;
    qint64 startMs_ = 0;
    std::size_t nextEvent_ = 0;
    Eeprom93C46 eeprom_;
    std::uint8_t out_ = 0;
    std::array<std::uint64_t, kCallKinds> calls_{};
    std::mt19937_64 rng_; // defined bit for bit by C++: the same noise everywhere
    std::uint64_t seed_ = 0;
    bool spare_ = false;
    double spareValue_ = 0;
};

} // namespace qvr::sim
