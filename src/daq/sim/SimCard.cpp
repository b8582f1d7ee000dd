#include "daq/sim/SimCard.h"

#include "core/QtClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>

namespace qvr::sim {

namespace {

constexpr int kChannels = 8;
constexpr std::uint8_t kInputsFloating = 7; // nothing on the cable: every input reads 1
constexpr double kFloatingVolts = -4.99;    // the detector input pulled to the rail

int quantise(double count) {
    return static_cast<int>(std::clamp(std::round(count), 0.0, 4095.0));
}

void busyWaitUs(int us) {
    using clock = std::chrono::steady_clock;
    const auto until = clock::now() + std::chrono::microseconds(us);
    while (clock::now() < until) {
    }
}

} // namespace

SimCard::SimCard(Scenario scenario, const Clock* clock) : s_(std::move(scenario)), clock_(clock) {
    if (!clock_) {
        ownClock_ = std::make_unique<QtClock>();
        clock_ = ownClock_.get();
    }
    startMs_ = clock_->nowMs();
    seed_ = s_.seed;
    rng_.seed(seed_);
    refreshEeprom();
}

SimCard::~SimCard() = default;

// --- the board table -----------------------------------------------------------------------

const Board* SimCard::findBoard(int board) const {
    if (s_.faults.noBoard)
        return nullptr;
    for (const Board& b : s_.boards)
        if (b.number == board)
            return &b;
    return nullptr;
}

int SimCard::headBoard() const {
    if (s_.faults.noBoard || s_.faults.otherModel)
        return -1;
    int best = -1;
    for (const Board& b : s_.boards)
        if (b.name == QLatin1String(kDas08Name) && (best < 0 || b.number < best))
            best = b.number;
    return best;
}

bool SimCard::headOn(int board) const {
    return board == headBoard() && !s_.faults.disconnected;
}

bool SimCard::failNow(CallKind kind) {
    const auto k = static_cast<std::size_t>(kind);
    const int every = s_.faults.failEvery[k];
    ++calls_[k];
    if (every <= 0 || calls_[k] % static_cast<std::uint64_t>(every) != 0)
        return false;
    failedKind_ = static_cast<int>(kind);
    missingBoard_.reset();
    return true;
}

int SimCard::noBoard(int board) {
    missingBoard_ = board;
    failedKind_ = -1;
    return kStatusBadBoard;
}

QString SimCard::lastError() const {
    if (missingBoard_)
        return QStringLiteral("board %1: no such card").arg(*missingBoard_);
    if (failedKind_ < 0)
        return {};
    const auto kind = static_cast<CallKind>(failedKind_);
    const int every = s_.faults.failEvery[static_cast<std::size_t>(failedKind_)];
    const QLatin1String call(callName(kind));
    return every == 1
               ? QStringLiteral("simulated fault: %1 fails on every call").arg(call)
               : QStringLiteral("simulated fault: %1 fails on one call in %2").arg(call).arg(every);
}

// --- the five calls ------------------------------------------------------------------------

int SimCard::cbAIn(int board, int chan, int range, std::int16_t& value) {
    applyDueEvents();
    if (!findBoard(board))
        return noBoard(board);
    if (failNow(CallKind::AIn))
        return s_.faults.failStatus;
    if (chan < 0 || chan >= kChannels)
        return kStatusBadChannel;
    if (range != BIP5VOLTS)
        return kStatusBadRange;
    if (s_.conversionUs > 0)
        busyWaitUs(s_.conversionUs);
    if (s_.faults.deadConverter) {
        value = 0;
        return 0;
    }
    double count = (volts(board, chan) + 5.0) * 409.5;
    if (s_.noise > 0)
        count += s_.noise * gaussian();
    value = static_cast<std::int16_t>(quantise(count));
    return 0;
}

int SimCard::cbDIn(int board, int port, std::int16_t& value) {
    applyDueEvents();
    if (!findBoard(board))
        return noBoard(board);
    if (failNow(CallKind::DIn))
        return s_.faults.failStatus;
    if (port != AUXPORT)
        return kStatusBadPort;
    value = board == headBoard() ? inputLines() : kInputsFloating;
    return 0;
}

int SimCard::cbDOut(int board, int port, std::uint16_t value) {
    applyDueEvents();
    if (!findBoard(board))
        return noBoard(board);
    if (failNow(CallKind::DOut))
        return s_.faults.failStatus;
    if (port != AUXPORT)
        return kStatusBadPort;
    if (board != headBoard())
        return 0; // another card's outputs: nothing of ours is wired to them
    const auto lines = static_cast<std::uint8_t>(value & 0xFF);
    const bool changed = lines != out_;
    out_ = lines;
    feedEeprom();
    if (changed)
        emit linesChanged();
    return 0;
}

int SimCard::cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) {
    applyDueEvents();
    if (failNow(CallKind::GetConfig))
        return s_.faults.failStatus;
    const Board* b = findBoard(board);
    if (!b) {
        value = 0;
        return noBoard(board);
    }
    if (infoType != BOARDINFO || devNum != 0 || item != BIBOARDTYPE)
        return kStatusBadConfigItem;
    value =
        s_.faults.otherModel && b->name == QLatin1String(kDas08Name) ? kOtherBoardType : b->type;
    return 0;
}

int SimCard::cbGetBoardName(int board, char* name) {
    applyDueEvents();
    if (failNow(CallKind::GetBoardName))
        return s_.faults.failStatus;
    const Board* b = findBoard(board);
    if (!b || !name)
        return kStatusBadBoard;
    const QByteArray n = s_.faults.otherModel && b->name == QLatin1String(kDas08Name)
                             ? QByteArray(kOtherModelName)
                             : b->name.toLatin1().left(kBoardNameSize - 1);
    std::memcpy(name, n.constData(), static_cast<std::size_t>(n.size()));
    name[n.size()] = '\0';
    return 0;
}

// --- the head ------------------------------------------------------------------------------

std::uint8_t SimCard::inputLines() const {
    if (s_.faults.disconnected || headBoard() < 0)
        return kInputsFloating;
    std::uint8_t in = 0;
    if (!(s_.holder == Holder::Film && s_.film.present))
        in |= 1;
    if (s_.button)
        in |= 2;
    int doBit = s_.undrivenDo;
    if (s_.faults.doStuck >= 0)
        doBit = s_.faults.doStuck;
    else if (eeprom_.doDriven())
        doBit = eeprom_.doLevel() ? 0 : 1;
    if (doBit)
        in |= 4;
    return in;
}

double SimCard::pathOd() const {
    const auto wl = static_cast<std::size_t>(secondWavelength() ? 1 : 0);
    if (s_.holder == Holder::Film)
        return s_.film.present ? s_.film.seenOd(wl) : 0.0;
    const Filter f = s_.filters.inserted;
    return f == Filter::None ? 0.0 : s_.filters.od[static_cast<std::size_t>(f) - 1];
}

double SimCard::volts(int board, int chan) const {
    if (!headOn(board))
        return kFloatingVolts;
    if (chan != 0)
        return 0.0; // an open input
    // The detector works on a log scale: the density in the path subtracts.
    return s_.gain * (s_.lamp - pathOd());
}

int SimCard::idealCount() const {
    if (s_.faults.deadConverter)
        return 0;
    return quantise((volts(headBoard(), 0) + 5.0) * 409.5);
}

QByteArray SimCard::record() const {
    Scenario view;
    view.words = eeprom_.words();
    return view.record();
}

void SimCard::refreshEeprom() {
    auto words = s_.words;
    if (s_.faults.blankEeprom)
        words.fill(0xFFFF);
    eeprom_.setWords(words);
    feedEeprom();
}

void SimCard::feedEeprom() {
    if (s_.faults.disconnected)
        return;
    eeprom_.setInputs((out_ & 8) == 0, (out_ & 1) == 0, (out_ & 4) == 0);
}

double SimCard::gaussian() {
    // Box-Muller on the raw generator: std::normal_distribution differs between libraries.
    if (spare_) {
        spare_ = false;
        return spareValue_;
    }
    constexpr double kUnit = 1.0 / 9007199254740992.0;                   // 2^-53
    const double u1 = (static_cast<double>(rng_() >> 11) + 1.0) * kUnit; // (0, 1]
    const double u2 = static_cast<double>(rng_() >> 11) * kUnit;         // [0, 1)
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double t = 2.0 * std::numbers::pi * u2;
    spare_ = true;
    spareValue_ = r * std::sin(t);
    return r * std::cos(t);
}

// --- changes -------------------------------------------------------------------------------

void SimCard::applyDueEvents() {
    if (nextEvent_ >= s_.events.size())
        return;
    const qint64 elapsed = clock_->nowMs() - startMs_;
    bool any = false;
    while (nextEvent_ < s_.events.size() && s_.events[nextEvent_].atMs <= elapsed) {
        const QJsonObject changes = s_.events[nextEvent_++].changes;
        applyChanges(s_, changes);
        any = true;
    }
    if (any)
        conditionsUpdated();
}

void SimCard::conditionsUpdated() {
    if (s_.seed != seed_) {
        seed_ = s_.seed;
        rng_.seed(seed_);
        spare_ = false;
    }
    refreshEeprom();
    emit conditionsChanged();
}

void SimCard::setHolder(Holder holder) {
    if (s_.holder == holder)
        return;
    s_.holder = holder;
    conditionsUpdated();
}

void SimCard::setFilmPresent(bool present) {
    if (s_.film.present == present)
        return;
    s_.film.present = present;
    conditionsUpdated();
}

void SimCard::setFilmOd(int wavelength, double od) {
    if (wavelength < 0 || wavelength > 1 || !std::isfinite(od))
        return;
    od = std::clamp(od, 0.0, 10.0);
    auto& slot = s_.film.od[static_cast<std::size_t>(wavelength)];
    if (slot == od)
        return;
    slot = od;
    conditionsUpdated();
}

void SimCard::setFilterInserted(Filter filter) {
    if (s_.filters.inserted == filter)
        return;
    s_.filters.inserted = filter;
    conditionsUpdated();
}

void SimCard::setLamp(double lamp) {
    if (!std::isfinite(lamp))
        return;
    lamp = std::clamp(lamp, -5.0, 5.0);
    if (s_.lamp == lamp)
        return;
    s_.lamp = lamp;
    conditionsUpdated();
}

void SimCard::setNoise(double noise) {
    if (!std::isfinite(noise))
        return;
    noise = std::clamp(noise, 0.0, 1000.0);
    if (s_.noise == noise)
        return;
    s_.noise = noise;
    conditionsUpdated();
}

void SimCard::setButtonHeld(bool held) {
    if (s_.button == held)
        return;
    s_.button = held;
    conditionsUpdated();
}

} // namespace qvr::sim
