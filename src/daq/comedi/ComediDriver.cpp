#include "daq/comedi/ComediDriver.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace qvr {

namespace {

constexpr unsigned kCounts12Bit = 4095;
constexpr unsigned kInputMask = 0x7;  // IP1..IP3
constexpr unsigned kOutputMask = 0xF; // OP1..OP4
constexpr double kRangeVolts = 5.0;
constexpr double kRangeTolerance = 1e-3; // volts; comedi stores limits in microvolts

// Counts of a converter with another resolution, brought onto the 12-bit scale the readings
// are computed in, end points onto end points.
std::int16_t to12Bits(unsigned raw, unsigned maxdata) {
    raw = std::min(raw, maxdata);
    if (maxdata == kCounts12Bit)
        return static_cast<std::int16_t>(raw);
    const std::uint64_t scaled =
        (std::uint64_t{raw} * kCounts12Bit + maxdata / 2) / std::uint64_t{maxdata};
    return static_cast<std::int16_t>(scaled);
}

bool isPlusMinus5Volts(const ComediRange& r) {
    return r.volts && std::fabs(r.min + kRangeVolts) < kRangeTolerance &&
           std::fabs(r.max - kRangeVolts) < kRangeTolerance;
}

// comedi's driver names are lower case; the program and its users know the maker's name.
QByteArray displayName(const char* comediName) {
    const QByteArray name(comediName);
    return name == "pci-das08" ? QByteArrayLiteral("PCI-DAS08") : name;
}

} // namespace

ComediDriver::ComediDriver(std::unique_ptr<ComediApi> api, QString nodePrefix)
    : api_(std::move(api)), nodePrefix_(std::move(nodePrefix)), boards_(kMaxBoards) {}

ComediDriver::~ComediDriver() {
    for (Board& b : boards_)
        closeBoard(b);
}

QString ComediDriver::nodePath(int board) const {
    return nodePrefix_ + QString::number(board);
}

int ComediDriver::fail(int status, const QString& detail) {
    lastError_ = detail;
    return status;
}

int ComediDriver::failComedi(int status, int board, const char* function) {
    const int errnum = api_->errorNumber();
    return fail(status, QStringLiteral("%1: %2: %3")
                            .arg(nodePath(board), QLatin1String(function),
                                 QString::fromStdString(api_->errorText(errnum))));
}

void ComediDriver::closeBoard(Board& b) {
    if (b.device)
        api_->close(b.device);
    b = Board{};
}

int ComediDriver::usableBoard(int board, Board*& out) {
    if (board < 0 || board >= kMaxBoards)
        return fail(kStatusBadBoard, QStringLiteral("board %1 is not a board number (0 to %2)")
                                         .arg(board)
                                         .arg(kMaxBoards - 1));
    Board& b = boards_[static_cast<std::size_t>(board)];
    if (!b.device) {
        b.device = api_->open(nodePath(board).toLocal8Bit().constData());
        if (!b.device)
            return failComedi(kStatusNoDevice, board, "comedi_open");
        if (const int status = probe(board, b); status != kStatusOk) {
            // Not kept: a reconfigured node is looked at afresh on the next call.
            closeBoard(b);
            return status;
        }
    }
    out = &b;
    return kStatusOk;
}

int ComediDriver::probe(int board, Board& b) {
    const auto unsuitable = [&](const char* what) {
        return fail(kStatusUnsuitable,
                    QStringLiteral("%1: %2").arg(nodePath(board), QLatin1String(what)));
    };
    b.ai = api_->findSubdevice(b.device, ComediSubdevice::AnalogInput);
    if (b.ai < 0)
        return unsuitable("no analog input subdevice");
    b.di = api_->findSubdevice(b.device, ComediSubdevice::DigitalInput);
    if (b.di < 0)
        return unsuitable("no digital input subdevice");
    b.dout = api_->findSubdevice(b.device, ComediSubdevice::DigitalOutput);
    if (b.dout < 0)
        return unsuitable("no digital output subdevice");
    Analog detector;
    if (analog(board, b, 0, detector) != kStatusOk)
        return unsuitable("analog input channel 0 has no +-5 V range");
    return kStatusOk;
}

int ComediDriver::analog(int board, const Board& b, int chan, Analog& out) {
    const unsigned ai = static_cast<unsigned>(b.ai);
    if (chan < 0 || chan >= api_->channelCount(b.device, ai))
        return fail(
            kStatusBadChannel,
            QStringLiteral("%1: no analog input channel %2").arg(nodePath(board)).arg(chan));
    const unsigned ch = static_cast<unsigned>(chan);
    // find_range gives the smallest range holding +-5 V, which may be wider: the counts would
    // then be read on the wrong scale, so only an exact +-5 V range will do.
    const int range = api_->findRange(b.device, ai, ch, -kRangeVolts, kRangeVolts);
    const std::optional<ComediRange> limits =
        range < 0 ? std::nullopt : api_->range(b.device, ai, ch, static_cast<unsigned>(range));
    const unsigned maxdata = api_->maxdata(b.device, ai, ch);
    if (!limits || !isPlusMinus5Volts(*limits) || maxdata == 0)
        return fail(kStatusBadRange,
                    QStringLiteral("%1: analog input channel %2 has no usable +-5 V range")
                        .arg(nodePath(board))
                        .arg(chan));
    out = Analog{static_cast<unsigned>(range), maxdata};
    return kStatusOk;
}

int ComediDriver::cbAIn(int board, int chan, int range, std::int16_t& value) {
    if (range != BIP5VOLTS)
        return fail(kStatusBadRange,
                    QStringLiteral("cbAIn: range code %1 is not +-5 V").arg(range));
    Board* b = nullptr;
    if (const int status = usableBoard(board, b); status != kStatusOk)
        return status;
    Analog a;
    if (const int status = analog(board, *b, chan, a); status != kStatusOk)
        return status;
    unsigned raw = 0;
    if (api_->dataRead(b->device, static_cast<unsigned>(b->ai), static_cast<unsigned>(chan),
                       a.range, kComediGroundReference, raw) != 1) {
        const int status = failComedi(kStatusIoFailed, board, "comedi_data_read");
        closeBoard(*b);
        return status;
    }
    value = to12Bits(raw, a.maxdata);
    return kStatusOk;
}

int ComediDriver::cbDIn(int board, int port, std::int16_t& value) {
    Board* b = nullptr;
    if (port != AUXPORT)
        return fail(kStatusBadPort,
                    QStringLiteral("cbDIn: port %1 is not the head port").arg(port));
    if (const int status = usableBoard(board, b); status != kStatusOk)
        return status;
    unsigned bits = 0;
    if (api_->dioBitfield2(b->device, static_cast<unsigned>(b->di), 0, bits, 0) != 0) {
        const int status = failComedi(kStatusIoFailed, board, "comedi_dio_bitfield2");
        closeBoard(*b);
        return status;
    }
    value = static_cast<std::int16_t>(bits & kInputMask);
    return kStatusOk;
}

int ComediDriver::cbDOut(int board, int port, std::uint16_t value) {
    Board* b = nullptr;
    if (port != AUXPORT)
        return fail(kStatusBadPort,
                    QStringLiteral("cbDOut: port %1 is not the head port").arg(port));
    if (const int status = usableBoard(board, b); status != kStatusOk)
        return status;
    unsigned bits = value & kOutputMask;
    if (api_->dioBitfield2(b->device, static_cast<unsigned>(b->dout), kOutputMask, bits, 0) != 0) {
        const int status = failComedi(kStatusIoFailed, board, "comedi_dio_bitfield2");
        closeBoard(*b);
        return status;
    }
    return kStatusOk;
}

int ComediDriver::cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) {
    if (infoType != BOARDINFO || devNum != 0 || item != BIBOARDTYPE)
        return fail(kStatusBadConfigItem,
                    QStringLiteral("cbGetConfig: information %1, device %2, item %3 not supported")
                        .arg(infoType)
                        .arg(devNum)
                        .arg(item));
    Board* b = nullptr;
    if (const int status = usableBoard(board, b); status != kStatusOk)
        return status;
    value = kComediBoardType;
    return kStatusOk;
}

int ComediDriver::cbGetBoardName(int board, char* name) {
    if (!name)
        return fail(kStatusBadBuffer, QStringLiteral("cbGetBoardName: no buffer"));
    Board* b = nullptr;
    if (const int status = usableBoard(board, b); status != kStatusOk)
        return status;
    const char* comediName = api_->boardName(b->device);
    if (!comediName) {
        const int status = failComedi(kStatusIoFailed, board, "comedi_get_board_name");
        closeBoard(*b);
        return status;
    }
    // The name, cut to fit, and one NUL: the bytes after it belong to the caller.
    const QByteArray text = displayName(comediName).left(kBoardNameSize - 1);
    std::memcpy(name, text.constData(), static_cast<std::size_t>(text.size()));
    name[text.size()] = '\0';
    return kStatusOk;
}

std::unique_ptr<DaqDriver> makeComediDriver() {
    return std::make_unique<ComediDriver>(makeLibComediApi());
}

bool comediDeviceExists() {
    return comediDeviceExists(QStringLiteral("/dev"));
}

bool comediDeviceExists(const QString& devDir) {
    for (int n = 0; n < kMaxBoards; ++n)
        if (QFileInfo::exists(devDir + QStringLiteral("/comedi") + QString::number(n)))
            return true;
    return false;
}

} // namespace qvr
