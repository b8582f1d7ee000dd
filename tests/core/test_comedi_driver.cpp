// The comedi backend's mapping of the five card calls, against a fake device table behind the
// comedilib seam.

#include "daq/ComediDriver.h"

#include <QSet>
#include <QTest>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace qvr::test {

namespace {

// A subdevice slot; an empty type stands for the ones the backend never uses (unused, counter).
struct FakeSubdevice {
    std::optional<ComediSubdevice> type;
    int channels = 0;
    unsigned maxdata = 1;
    std::vector<ComediRange> ranges;
};

constexpr ComediRange kBip5{true, -5.0, 5.0};
constexpr ComediRange kBip10{true, -10.0, 10.0};
constexpr ComediRange kBip1{true, -1.0, 1.0};
constexpr ComediRange kUni5{true, 0.0, 5.0};
constexpr ComediRange kMilliamps{false, -5.0, 5.0};

FakeSubdevice analogIn(std::vector<ComediRange> ranges, unsigned maxdata = 4095) {
    return {ComediSubdevice::AnalogInput, 8, maxdata, std::move(ranges)};
}
FakeSubdevice digitalIn() {
    return {ComediSubdevice::DigitalInput, 3, 1, {}};
}
FakeSubdevice digitalOut() {
    return {ComediSubdevice::DigitalOutput, 4, 1, {}};
}
FakeSubdevice other() {
    return {};
}

struct FakeNode {
    std::string boardName = "pci-das08";
    std::vector<FakeSubdevice> subdevices;
};

// The PCI-DAS08 as the das08 driver presents it.
FakeNode das08() {
    return {"pci-das08", {analogIn({kBip5}), other(), digitalIn(), digitalOut(), other(), other()}};
}

struct Write {
    unsigned subd;
    unsigned mask;
    unsigned bits;
};

class FakeComedi : public ComediApi {
public:
    std::map<std::string, FakeNode> nodes; // by path: a missing entry is a missing node
    unsigned sample = 2048;
    unsigned inputs = 0;
    int failures = 0; // the next this many reads or writes fail
    int failErrno = ETIMEDOUT;
    bool nameFails = false;

    int opens = 0;
    std::shared_ptr<int> closes = std::make_shared<int>(0); // outlives the table
    std::vector<Write> writes;
    struct Read {
        unsigned subd, chan, range, aref;
    };
    std::vector<Read> reads;

    ComediDevice* open(const char* path) override {
        if (!nodes.count(path)) {
            errno_ = ENOENT;
            return nullptr;
        }
        ++opens;
        handles_.push_back(std::make_unique<Handle>(Handle{path, nodes.at(path)}));
        return reinterpret_cast<ComediDevice*>(handles_.back().get());
    }
    void close(ComediDevice* dev) override {
        ++*closes;
        handle(dev)->closed = true;
    }
    const char* boardName(ComediDevice* dev) override {
        const FakeNode* n = node(dev);
        return n && !nameFails ? n->boardName.c_str() : nullptr;
    }
    int findSubdevice(ComediDevice* dev, ComediSubdevice type) override {
        const FakeNode* n = node(dev);
        for (std::size_t i = 0; n && i < n->subdevices.size(); ++i)
            if (n->subdevices[i].type == type)
                return static_cast<int>(i);
        return -1;
    }
    int channelCount(ComediDevice* dev, unsigned subd) override {
        const FakeSubdevice* s = subdevice(dev, subd);
        return s ? s->channels : -1;
    }
    int findRange(ComediDevice* dev, unsigned subd, unsigned chan, double minVolts,
                  double maxVolts) override {
        const FakeSubdevice* s = subdevice(dev, subd);
        if (!s || chan >= static_cast<unsigned>(s->channels))
            return -1;
        int best = -1;
        for (std::size_t i = 0; i < s->ranges.size(); ++i) {
            const ComediRange& r = s->ranges[i];
            const bool holds = r.volts && r.min <= minVolts && r.max >= maxVolts;
            if (holds && (best < 0 || r.max - r.min < s->ranges[best].max - s->ranges[best].min))
                best = static_cast<int>(i);
        }
        return best;
    }
    std::optional<ComediRange> range(ComediDevice* dev, unsigned subd, unsigned,
                                     unsigned range) override {
        const FakeSubdevice* s = subdevice(dev, subd);
        if (!s || range >= s->ranges.size())
            return std::nullopt;
        return s->ranges[range];
    }
    unsigned maxdata(ComediDevice* dev, unsigned subd, unsigned) override {
        const FakeSubdevice* s = subdevice(dev, subd);
        return s ? s->maxdata : 0;
    }
    int dataRead(ComediDevice* dev, unsigned subd, unsigned chan, unsigned range, unsigned aref,
                 unsigned& data) override {
        if (!io(dev))
            return -1;
        reads.push_back({subd, chan, range, aref});
        data = sample;
        return 1;
    }
    int dioBitfield2(ComediDevice* dev, unsigned subd, unsigned writeMask, unsigned& bits,
                     unsigned baseChannel) override {
        if (!io(dev) || baseChannel != 0)
            return -1;
        if (writeMask != 0)
            writes.push_back({subd, writeMask, bits});
        else
            bits = inputs;
        return 0;
    }
    int errorNumber() override { return errno_; }
    std::string errorText(int errnum) override { return std::strerror(errnum); }

private:
    // Like comedilib, a handle keeps what the device said about itself when it was opened;
    // only reads and writes reach the live node.
    struct Handle {
        std::string path;
        FakeNode info;
        bool closed = false;
    };
    static Handle* handle(ComediDevice* dev) { return reinterpret_cast<Handle*>(dev); }
    const FakeNode* node(ComediDevice* dev) {
        const Handle* h = handle(dev);
        if (h->closed) {
            errno_ = EBADF;
            return nullptr;
        }
        return &h->info;
    }
    const FakeSubdevice* subdevice(ComediDevice* dev, unsigned subd) {
        const FakeNode* n = node(dev);
        return n && subd < n->subdevices.size() ? &n->subdevices[subd] : nullptr;
    }
    bool io(ComediDevice* dev) {
        if (!node(dev))
            return false;
        if (!nodes.count(handle(dev)->path)) { // unplugged, driver unloaded
            errno_ = ENODEV;
            return false;
        }
        if (failures > 0) {
            --failures;
            errno_ = failErrno;
            return false;
        }
        return true;
    }
    std::vector<std::unique_ptr<Handle>> handles_;
    int errno_ = 0;
};

constexpr std::int16_t kCanary16 = -12345;
constexpr std::int32_t kCanary32 = -7;

} // namespace

} // namespace qvr::test

Q_DECLARE_METATYPE(std::vector<qvr::test::FakeSubdevice>)

namespace qvr::test {

class TestComediDriver : public QObject {
    Q_OBJECT

private:
    FakeComedi* fake_ = nullptr;
    std::unique_ptr<ComediDriver> driver_;

    // A driver over a fake with the given nodes installed.
    ComediDriver& makeDriver(std::map<std::string, FakeNode> nodes = {{"/dev/comedi0", das08()}}) {
        auto api = std::make_unique<FakeComedi>();
        fake_ = api.get();
        fake_->nodes = std::move(nodes);
        driver_ = std::make_unique<ComediDriver>(std::move(api));
        return *driver_;
    }
    std::int32_t boardType(int board, int* status = nullptr) {
        std::int32_t type = 0;
        const int s = driver_->cbGetConfig(BOARDINFO, board, 0, BIBOARDTYPE, type);
        if (status)
            *status = s;
        return type;
    }

private slots:
    void boardType_data();
    void boardType();
    void subdevicesAreFoundByType();
    void reconfiguredNodeIsSeenWithoutRestart();
    void boardName_data();
    void boardName();
    void countsAreScaledTo12Bits_data();
    void countsAreScaledTo12Bits();
    void inputBits_data();
    void inputBits();
    void outputBits_data();
    void outputBits();
    void badBoardNumbersAreRefused_data();
    void badBoardNumbersAreRefused();
    void onlyTheHeadPortIsServed_data();
    void onlyTheHeadPortIsServed();
    void analogArgumentsAreChecked_data();
    void analogArgumentsAreChecked();
    void configItemsOtherThanBoardTypeFail_data();
    void configItemsOtherThanBoardTypeFail();
    void missingBoardFailsEveryCall();
    void boardIsOpenedOnceAndClosedAtTheEnd();
    void failedBoardNameLeavesTheBuffer();
    void failedCallIsReportedAndReopened_data();
    void failedCallIsReportedAndReopened();
    void unpluggedBoardComesBack();
    void statusCodesAreDescribed();
};

void TestComediDriver::boardType_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<std::vector<FakeSubdevice>>("subdevices");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("status");

    const FakeSubdevice bip5 = analogIn({kBip5});
    QTest::newRow("no node") << false << std::vector<FakeSubdevice>{} << 0 << kComediNoDevice;
    QTest::newRow("no analog input")
        << true << std::vector{other(), digitalIn(), digitalOut()} << 0 << kComediUnsuitable;
    QTest::newRow("only +-10 V") << true
                                 << std::vector{analogIn({kBip10}), digitalIn(), digitalOut()} << 0
                                 << kComediUnsuitable;
    QTest::newRow("0..5 V and +-10 V")
        << true << std::vector{analogIn({kUni5, kBip10}), digitalIn(), digitalOut()} << 0
        << kComediUnsuitable;
    QTest::newRow("+-5 mA") << true
                            << std::vector{analogIn({kMilliamps}), digitalIn(), digitalOut()} << 0
                            << kComediUnsuitable;
    QTest::newRow("no ranges") << true << std::vector{analogIn({}), digitalIn(), digitalOut()} << 0
                               << kComediUnsuitable;
    QTest::newRow("no maxdata") << true
                                << std::vector{analogIn({kBip5}, 0), digitalIn(), digitalOut()} << 0
                                << kComediUnsuitable;
    QTest::newRow("no digital input")
        << true << std::vector{bip5, other(), digitalOut()} << 0 << kComediUnsuitable;
    QTest::newRow("no digital output")
        << true << std::vector{bip5, digitalIn(), other()} << 0 << kComediUnsuitable;
    QTest::newRow("pci-das08") << true << das08().subdevices << int(kComediBoardType) << kComediOk;
    QTest::newRow("+-10, +-5 and +-1 V")
        << true << std::vector{analogIn({kBip10, kBip5, kBip1}), digitalIn(), digitalOut()}
        << int(kComediBoardType) << kComediOk;
}

void TestComediDriver::boardType() {
    QFETCH(bool, present);
    QFETCH(std::vector<FakeSubdevice>, subdevices);
    QFETCH(int, type);
    QFETCH(int, status);
    std::map<std::string, FakeNode> nodes;
    if (present)
        nodes["/dev/comedi0"] = FakeNode{"some-board", subdevices};
    ComediDriver& driver = makeDriver(nodes);

    int got = -1;
    QCOMPARE(boardType(0, &got), type);
    QCOMPARE(got, status);
    // A failed query leaves the caller's value alone, whatever it held.
    std::int32_t untouched = kCanary32;
    driver.cbGetConfig(BOARDINFO, 0, 0, BIBOARDTYPE, untouched);
    QCOMPARE(untouched, status == kComediOk ? kComediBoardType : kCanary32);
    QCOMPARE(driver.lastError().isEmpty(), status == kComediOk);
}

void TestComediDriver::subdevicesAreFoundByType() {
    FakeNode shuffled{"shuffled",
                      {digitalOut(), other(), digitalIn(), analogIn({kBip10, kBip5}), other()}};
    makeDriver({{"/dev/comedi3", shuffled}});
    QCOMPARE(boardType(3), kComediBoardType);

    std::int16_t count = 0;
    QCOMPARE(driver_->cbAIn(3, 0, BIP5VOLTS, count), kComediOk);
    QCOMPARE(fake_->reads.size(), std::size_t{1});
    QCOMPARE(fake_->reads[0].subd, 3u);
    QCOMPARE(fake_->reads[0].range, 1u);
    QCOMPARE(fake_->reads[0].aref, kComediGroundReference);
    QCOMPARE(driver_->cbDOut(3, AUXPORT, 5), kComediOk);
    QCOMPARE(fake_->writes.at(0).subd, 0u);
}

void TestComediDriver::reconfiguredNodeIsSeenWithoutRestart() {
    makeDriver({{"/dev/comedi0", FakeNode{"other", {analogIn({kBip5}), digitalIn()}}}});
    QCOMPARE(boardType(0), 0);
    fake_->nodes["/dev/comedi0"] = das08();
    QCOMPARE(boardType(0), kComediBoardType);
}

void TestComediDriver::boardName_data() {
    QTest::addColumn<QByteArray>("comediName");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("pci-das08") << QByteArray("pci-das08") << QByteArray("PCI-DAS08");
    QTest::newRow("other board") << QByteArray("pci-das1602/16") << QByteArray("pci-das1602/16");
    QTest::newRow("not quite das08") << QByteArray("pci-das08jr") << QByteArray("pci-das08jr");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("24 characters") << QByteArray(24, 'x') << QByteArray(24, 'x');
    QTest::newRow("25 characters") << QByteArray(25, 'y') << QByteArray(24, 'y');
    QTest::newRow("60 characters") << QByteArray(60, 'z') << QByteArray(24, 'z');
}

void TestComediDriver::boardName() {
    QFETCH(QByteArray, comediName);
    QFETCH(QByteArray, written);
    FakeNode node = das08();
    node.boardName = comediName.toStdString();
    ComediDriver& driver = makeDriver({{"/dev/comedi0", node}});

    // The caller's 25 blanks, and guard bytes behind them that no call may reach.
    std::array<char, kBoardNameSize + 8> buffer;
    buffer.fill('\x5a');
    std::memset(buffer.data(), ' ', kBoardNameSize);
    QCOMPARE(driver.cbGetBoardName(0, buffer.data()), kComediOk);

    QCOMPARE(QByteArray(buffer.data()), written);
    for (int i = written.size() + 1; i < kBoardNameSize; ++i)
        QCOMPARE(buffer[i], ' ');
    for (std::size_t i = kBoardNameSize; i < buffer.size(); ++i)
        QCOMPARE(buffer[i], '\x5a');
}

void TestComediDriver::countsAreScaledTo12Bits_data() {
    QTest::addColumn<unsigned>("maxdata");
    QTest::addColumn<unsigned>("raw");
    QTest::addColumn<int>("count");

    QTest::newRow("12 bit, 0") << 4095u << 0u << 0;
    QTest::newRow("12 bit, 1") << 4095u << 1u << 1;
    QTest::newRow("12 bit, 2048") << 4095u << 2048u << 2048;
    QTest::newRow("12 bit, full") << 4095u << 4095u << 4095;
    QTest::newRow("12 bit, above maxdata") << 4095u << 5000u << 4095;
    QTest::newRow("16 bit, 0") << 65535u << 0u << 0;
    QTest::newRow("16 bit, 8 rounds down") << 65535u << 8u << 0;
    QTest::newRow("16 bit, 9 rounds up") << 65535u << 9u << 1;
    QTest::newRow("16 bit, mid") << 65535u << 32768u << 2048;
    QTest::newRow("16 bit, full") << 65535u << 65535u << 4095;
    QTest::newRow("8 bit, 0") << 255u << 0u << 0;
    QTest::newRow("8 bit, 1") << 255u << 1u << 16;
    QTest::newRow("8 bit, 128") << 255u << 128u << 2056;
    QTest::newRow("8 bit, full") << 255u << 255u << 4095;
}

void TestComediDriver::countsAreScaledTo12Bits() {
    QFETCH(unsigned, maxdata);
    QFETCH(unsigned, raw);
    QFETCH(int, count);
    FakeNode node = das08();
    node.subdevices[0].maxdata = maxdata;
    makeDriver({{"/dev/comedi0", node}});
    fake_->sample = raw;

    std::int16_t value = kCanary16;
    QCOMPARE(driver_->cbAIn(0, 0, BIP5VOLTS, value), kComediOk);
    QCOMPARE(int(value), count);
}

void TestComediDriver::inputBits_data() {
    QTest::addColumn<unsigned>("lines");
    QTest::addColumn<int>("status");

    QTest::newRow("none") << 0u << 0;
    QTest::newRow("IP1 (no film)") << 1u << 1;
    QTest::newRow("IP2 (button)") << 2u << 2;
    QTest::newRow("IP3 (EEPROM DO)") << 4u << 4;
    QTest::newRow("all three") << 7u << 7;
    QTest::newRow("bits above IP3 dropped") << 0xfff8u << 0;
    QTest::newRow("everything") << 0xffffffffu << 7;
}

void TestComediDriver::inputBits() {
    QFETCH(unsigned, lines);
    QFETCH(int, status);
    makeDriver();
    fake_->inputs = lines;

    std::int16_t value = kCanary16;
    QCOMPARE(driver_->cbDIn(0, AUXPORT, value), kComediOk);
    QCOMPARE(int(value), status);
    QVERIFY(fake_->writes.empty()); // a read writes no output line
}

void TestComediDriver::outputBits_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<unsigned>("lines");

    QTest::newRow("0") << 0 << 0u;
    QTest::newRow("start-up image 8") << 8 << 8u;
    QTest::newRow("LED and buzzer 13") << 13 << 13u;
    QTest::newRow("all four") << 15 << 15u;
    QTest::newRow("unused bits 4-7 dropped") << (0xf0 | 6) << 6u;
    QTest::newRow("16-bit value") << 0xffff << 15u;
}

void TestComediDriver::outputBits() {
    QFETCH(int, value);
    QFETCH(unsigned, lines);
    makeDriver();

    QCOMPARE(driver_->cbDOut(0, AUXPORT, static_cast<std::uint16_t>(value)), kComediOk);
    QCOMPARE(fake_->writes.size(), std::size_t{1});
    QCOMPARE(fake_->writes[0].subd, 3u);
    QCOMPARE(fake_->writes[0].mask, 0xfu);
    QCOMPARE(fake_->writes[0].bits, lines);
}

void TestComediDriver::badBoardNumbersAreRefused_data() {
    QTest::addColumn<int>("board");
    QTest::newRow("-1") << -1;
    QTest::newRow("lowest int") << INT_MIN;
    QTest::newRow("kMaxBoards") << kMaxBoards;
    QTest::newRow("no board chosen (9999)") << 9999;
    QTest::newRow("highest int") << INT_MAX;
}

void TestComediDriver::badBoardNumbersAreRefused() {
    QFETCH(int, board);
    makeDriver();

    std::int16_t value = kCanary16;
    std::int32_t type = kCanary32;
    char name[kBoardNameSize];
    std::memset(name, ' ', sizeof name);
    QCOMPARE(driver_->cbAIn(board, 0, BIP5VOLTS, value), kComediBadBoard);
    QCOMPARE(driver_->cbDIn(board, AUXPORT, value), kComediBadBoard);
    QCOMPARE(driver_->cbDOut(board, AUXPORT, 8), kComediBadBoard);
    QCOMPARE(driver_->cbGetConfig(BOARDINFO, board, 0, BIBOARDTYPE, type), kComediBadBoard);
    QCOMPARE(driver_->cbGetBoardName(board, name), kComediBadBoard);
    QCOMPARE(value, kCanary16);
    QCOMPARE(type, kCanary32);
    QCOMPARE(QByteArray(name, sizeof name), QByteArray(kBoardNameSize, ' '));
    QCOMPARE(fake_->opens, 0);
    QVERIFY(driver_->lastError().contains(QString::number(board)));
}

void TestComediDriver::onlyTheHeadPortIsServed_data() {
    QTest::addColumn<int>("port");
    QTest::newRow("0") << 0;
    QTest::newRow("2") << 2;
    QTest::newRow("-1") << -1;
    QTest::newRow("first 8255 port (10)") << 10;
}

void TestComediDriver::onlyTheHeadPortIsServed() {
    QFETCH(int, port);
    makeDriver();
    fake_->inputs = 7;

    std::int16_t value = kCanary16;
    QCOMPARE(driver_->cbDIn(0, port, value), kComediBadPort);
    QCOMPARE(value, kCanary16);
    QCOMPARE(driver_->cbDOut(0, port, 8), kComediBadPort);
    QVERIFY(fake_->writes.empty());
}

void TestComediDriver::analogArgumentsAreChecked_data() {
    QTest::addColumn<int>("chan");
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("status");

    QTest::newRow("channel 0") << 0 << BIP5VOLTS << kComediOk;
    QTest::newRow("channel 7") << 7 << BIP5VOLTS << kComediOk;
    QTest::newRow("channel 8") << 8 << BIP5VOLTS << kComediBadChannel;
    QTest::newRow("channel -1") << -1 << BIP5VOLTS << kComediBadChannel;
    QTest::newRow("range code 1") << 0 << 1 << kComediBadRange;
    QTest::newRow("range code -1") << 0 << -1 << kComediBadRange;
}

void TestComediDriver::analogArgumentsAreChecked() {
    QFETCH(int, chan);
    QFETCH(int, range);
    QFETCH(int, status);
    makeDriver();
    fake_->sample = 1000;

    std::int16_t value = kCanary16;
    QCOMPARE(driver_->cbAIn(0, chan, range, value), status);
    QCOMPARE(value, status == kComediOk ? std::int16_t{1000} : kCanary16);
    QCOMPARE(fake_->reads.size(), std::size_t{status == kComediOk});
    if (status == kComediOk)
        QCOMPARE(fake_->reads[0].chan, unsigned(chan));
}

void TestComediDriver::configItemsOtherThanBoardTypeFail_data() {
    QTest::addColumn<int>("infoType");
    QTest::addColumn<int>("devNum");
    QTest::addColumn<int>("item");

    QTest::newRow("information class 1") << 1 << 0 << BIBOARDTYPE;
    QTest::newRow("device 1") << BOARDINFO << 1 << BIBOARDTYPE;
    QTest::newRow("item 2") << BOARDINFO << 0 << 2;
}

void TestComediDriver::configItemsOtherThanBoardTypeFail() {
    QFETCH(int, infoType);
    QFETCH(int, devNum);
    QFETCH(int, item);
    makeDriver();

    std::int32_t value = kCanary32;
    QCOMPARE(driver_->cbGetConfig(infoType, 0, devNum, item, value), kComediBadConfigItem);
    QCOMPARE(value, kCanary32);
}

void TestComediDriver::missingBoardFailsEveryCall() {
    makeDriver({{"/dev/comedi0", das08()}});

    std::int16_t value = kCanary16;
    char name[kBoardNameSize];
    std::memset(name, ' ', sizeof name);
    QCOMPARE(driver_->cbAIn(1, 0, BIP5VOLTS, value), kComediNoDevice);
    QCOMPARE(driver_->cbDIn(1, AUXPORT, value), kComediNoDevice);
    QCOMPARE(driver_->cbDOut(1, AUXPORT, 0), kComediNoDevice);
    QCOMPARE(driver_->cbGetBoardName(1, name), kComediNoDevice);
    QCOMPARE(value, kCanary16);
    QCOMPARE(QByteArray(name, sizeof name), QByteArray(kBoardNameSize, ' '));
    QCOMPARE(driver_->lastError(), QStringLiteral("/dev/comedi1: comedi_open: ") +
                                       QString::fromLatin1(std::strerror(ENOENT)));
    QVERIFY(fake_->writes.empty());
}

void TestComediDriver::boardIsOpenedOnceAndClosedAtTheEnd() {
    makeDriver({{"/dev/comedi0", das08()}, {"/dev/comedi1", das08()}});
    std::int16_t value = 0;
    for (int i = 0; i < 100; ++i) {
        QCOMPARE(driver_->cbAIn(0, 0, BIP5VOLTS, value), kComediOk);
        QCOMPARE(driver_->cbDIn(0, AUXPORT, value), kComediOk);
        QCOMPARE(driver_->cbDOut(0, AUXPORT, 8), kComediOk);
    }
    QCOMPARE(boardType(1), kComediBoardType);
    QCOMPARE(fake_->opens, 2);
    QCOMPARE(*fake_->closes, 0);

    const std::shared_ptr<int> closes = fake_->closes;
    driver_.reset();
    QCOMPARE(*closes, 2);
}

void TestComediDriver::failedBoardNameLeavesTheBuffer() {
    makeDriver();
    fake_->nameFails = true;
    char name[kBoardNameSize];
    std::memset(name, ' ', sizeof name);
    QCOMPARE(driver_->cbGetBoardName(0, name), kComediIoFailed);
    QCOMPARE(QByteArray(name, sizeof name), QByteArray(kBoardNameSize, ' '));
    QVERIFY(driver_->lastError().contains(QLatin1String("comedi_get_board_name")));
    QCOMPARE(driver_->cbGetBoardName(0, nullptr), kComediBadBuffer);
}

void TestComediDriver::failedCallIsReportedAndReopened_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("function");

    QTest::newRow("cbAIn, conversion timed out")
        << QStringLiteral("cbAIn") << ETIMEDOUT << QStringLiteral("comedi_data_read");
    QTest::newRow("cbDIn, I/O error")
        << QStringLiteral("cbDIn") << EIO << QStringLiteral("comedi_dio_bitfield2");
    QTest::newRow("cbDOut, I/O error")
        << QStringLiteral("cbDOut") << EIO << QStringLiteral("comedi_dio_bitfield2");
}

void TestComediDriver::failedCallIsReportedAndReopened() {
    QFETCH(QString, call);
    QFETCH(int, error);
    QFETCH(QString, function);
    makeDriver();
    fake_->inputs = 5;
    fake_->sample = 1234;
    std::int16_t value = kCanary16;
    const auto run = [&] {
        if (call == QLatin1String("cbAIn"))
            return driver_->cbAIn(0, 0, BIP5VOLTS, value);
        if (call == QLatin1String("cbDIn"))
            return driver_->cbDIn(0, AUXPORT, value);
        return driver_->cbDOut(0, AUXPORT, 9);
    };

    fake_->failures = 1;
    fake_->failErrno = error;
    QCOMPARE(run(), kComediIoFailed);
    QCOMPARE(value, kCanary16);
    QCOMPARE(driver_->lastError(), QStringLiteral("/dev/comedi0: %1: %2")
                                       .arg(function, QString::fromLatin1(std::strerror(error))));
    QCOMPARE(*fake_->closes, 1);

    QCOMPARE(run(), kComediOk);
    QCOMPARE(fake_->opens, 2);
    if (call != QLatin1String("cbDOut"))
        QCOMPARE(value, call == QLatin1String("cbAIn") ? std::int16_t{1234} : std::int16_t{5});
}

void TestComediDriver::unpluggedBoardComesBack() {
    makeDriver();
    fake_->sample = 3000;
    std::int16_t value = 0;
    QCOMPARE(driver_->cbAIn(0, 0, BIP5VOLTS, value), kComediOk);

    const FakeNode card = fake_->nodes.at("/dev/comedi0");
    fake_->nodes.clear();
    value = kCanary16;
    QCOMPARE(driver_->cbAIn(0, 0, BIP5VOLTS, value), kComediIoFailed);
    QVERIFY(driver_->lastError().endsWith(QString::fromLatin1(std::strerror(ENODEV))));
    QCOMPARE(driver_->cbAIn(0, 0, BIP5VOLTS, value), kComediNoDevice);
    QCOMPARE(boardType(0), 0);
    QCOMPARE(value, kCanary16);

    fake_->nodes["/dev/comedi0"] = card;
    QCOMPARE(boardType(0), kComediBoardType);
    QCOMPARE(driver_->cbAIn(0, 0, BIP5VOLTS, value), kComediOk);
    QCOMPARE(value, std::int16_t{3000});
}

void TestComediDriver::statusCodesAreDescribed() {
    QSet<QString> texts;
    for (int status = kComediOk; status <= kComediIoFailed; ++status)
        texts.insert(comediStatusText(status));
    QCOMPARE(texts.size(), kComediIoFailed + 1);
    QVERIFY(comediStatusText(42).contains(QLatin1String("42")));
}

} // namespace qvr::test

QTEST_GUILESS_MAIN(qvr::test::TestComediDriver)
#include "test_comedi_driver.moc"
