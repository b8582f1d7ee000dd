// The comedi backend's mapping of the five card calls, against a fake device table behind the
// comedilib seam.

#include "daq/comedi/ComediDriver.h"

#include <QTest>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace qvr::test {

namespace {

// An empty type stands for the subdevices the backend never uses (unused, counter).
struct FakeSubdevice {
    std::optional<ComediSubdevice> type;
    int channels = 0;
    unsigned maxdata = 1;
    std::vector<ComediRange> ranges;
};

constexpr ComediRange kBip5{true, -5, 5}, kBip10{true, -10, 10}, kBip1{true, -1, 1};
constexpr ComediRange kMilliamps{false, -5, 5};

FakeSubdevice ai(std::vector<ComediRange> ranges, unsigned maxdata = 4095) {
    return {ComediSubdevice::AnalogInput, 8, maxdata, std::move(ranges)};
}
const FakeSubdevice kDi{ComediSubdevice::DigitalInput, 3, 1, {}};
const FakeSubdevice kDo{ComediSubdevice::DigitalOutput, 4, 1, {}};
const FakeSubdevice kOther{}, kNone{std::nullopt, -1, 0, {}};

struct FakeNode {
    std::string boardName = "pci-das08";
    std::vector<FakeSubdevice> subdevices;
};

// The PCI-DAS08 as the das08 driver presents it.
FakeNode das08() {
    return {"pci-das08", {ai({kBip5}), kOther, kDi, kDo, kOther, kOther}};
}
// A card with its subdevices in another order and +-5 V as its second range.
FakeNode shuffled(unsigned maxdata = 4095) {
    return {"x", {kDo, kOther, kDi, ai({kBip10, kBip5}, maxdata), kOther}};
}

class FakeComedi : public ComediApi {
public:
    std::map<std::string, FakeNode> nodes; // by path: a missing entry is a missing node
    unsigned sample = 2048, inputs = 0;
    int failures = 0, failErrno = EIO; // the next `failures` reads, writes or name queries fail
    int opens = 0;
    std::shared_ptr<int> closes = std::make_shared<int>(0); // outlives the table
    std::vector<std::array<unsigned, 4>> reads;             // subd, chan, range, aref
    std::vector<std::array<unsigned, 3>> writes;            // subd, mask, bits

    ComediDevice* open(const char* path) override {
        if (!nodes.count(path))
            return fail(ENOENT), nullptr;
        ++opens;
        handles_.push_back(std::make_unique<Handle>(Handle{path, nodes.at(path)}));
        return reinterpret_cast<ComediDevice*>(handles_.back().get());
    }
    void close(ComediDevice* d) override { ++*closes, handle(d).path.clear(); }
    const char* boardName(ComediDevice* d) override {
        return io(d) ? node(d)->boardName.c_str() : nullptr;
    }
    int findSubdevice(ComediDevice* d, ComediSubdevice type) override {
        for (std::size_t i = 0; node(d) && i < node(d)->subdevices.size(); ++i)
            if (node(d)->subdevices[i].type == type)
                return int(i);
        return -1;
    }
    int channelCount(ComediDevice* d, unsigned s) override { return sub(d, s).channels; }
    // The narrowest range in volts holding [lo, hi], as comedi_find_range() picks it.
    int findRange(ComediDevice* d, unsigned s, unsigned, double lo, double hi) override {
        const std::vector<ComediRange>& r = sub(d, s).ranges;
        int best = -1;
        for (std::size_t i = 0; i < r.size(); ++i)
            if (r[i].volts && r[i].min <= lo && r[i].max >= hi &&
                (best < 0 || r[i].max - r[i].min < r[best].max - r[best].min))
                best = int(i);
        return best;
    }
    std::optional<ComediRange> range(ComediDevice* d, unsigned s, unsigned, unsigned i) override {
        const std::vector<ComediRange>& r = sub(d, s).ranges;
        return i < r.size() ? std::optional(r[i]) : std::nullopt;
    }
    unsigned maxdata(ComediDevice* d, unsigned s, unsigned) override { return sub(d, s).maxdata; }
    int dataRead(ComediDevice* d, unsigned s, unsigned chan, unsigned range, unsigned aref,
                 unsigned& data) override {
        if (!io(d))
            return -1;
        reads.push_back({s, chan, range, aref});
        data = sample;
        return 1;
    }
    int dioBitfield2(ComediDevice* d, unsigned s, unsigned mask, unsigned& bits,
                     unsigned base) override {
        if (!io(d) || base != 0)
            return -1;
        if (mask != 0)
            writes.push_back({s, mask, bits});
        else
            bits = inputs;
        return 0;
    }
    int errorNumber() override { return errno_; }
    std::string errorText(int errnum) override { return std::strerror(errnum); }

private:
    void fail(int e) { errno_ = e; }
    // Like comedilib, a handle keeps what the device said about itself when it was opened;
    // only reads and writes reach the live node.
    struct Handle {
        std::string path; // empty once closed
        FakeNode info;
    };
    static Handle& handle(ComediDevice* d) { return *reinterpret_cast<Handle*>(d); }
    const FakeNode* node(ComediDevice* d) {
        if (handle(d).path.empty())
            return fail(EBADF), nullptr;
        return &handle(d).info;
    }
    const FakeSubdevice& sub(ComediDevice* d, unsigned s) {
        const FakeNode* n = node(d);
        return n && s < n->subdevices.size() ? n->subdevices[s] : kNone;
    }
    bool io(ComediDevice* d) {
        if (!node(d))
            return false;
        if (!nodes.count(handle(d).path)) // unplugged, driver unloaded
            return fail(ENODEV), false;
        if (failures == 0)
            return true;
        --failures;
        return fail(failErrno), false;
    }
    std::vector<std::unique_ptr<Handle>> handles_;
    int errno_ = 0;
};

constexpr std::int16_t kCanary16 = -12345;
constexpr std::int32_t kCanary32 = -7;

// A call's destinations, filled with values no call writes.
struct Destinations {
    std::int16_t value = kCanary16;
    std::int32_t type = kCanary32;
    char name[kBoardNameSize];
    Destinations() { std::memset(name, ' ', sizeof name); }
    bool untouched() const {
        return value == kCanary16 && type == kCanary32 &&
               QByteArray(name, sizeof name) == QByteArray(kBoardNameSize, ' ');
    }
};

// One of the five calls by name, with its one varying argument.
int run(ComediDriver& d, const QString& call, int board, int arg, Destinations& o) {
    if (call == "ain")
        return d.cbAIn(board, arg, BIP5VOLTS, o.value);
    if (call == "ain-range")
        return d.cbAIn(board, 0, arg, o.value);
    if (call == "din")
        return d.cbDIn(board, arg, o.value);
    if (call == "dout")
        return d.cbDOut(board, arg, 8);
    if (call == "config-class")
        return d.cbGetConfig(arg, board, 0, BIBOARDTYPE, o.type);
    if (call == "config-device")
        return d.cbGetConfig(BOARDINFO, board, arg, BIBOARDTYPE, o.type);
    if (call == "config-item")
        return d.cbGetConfig(BOARDINFO, board, 0, arg, o.type);
    return d.cbGetBoardName(board, arg ? o.name : nullptr);
}

} // namespace

} // namespace qvr::test

Q_DECLARE_METATYPE(std::vector<qvr::test::FakeSubdevice>)

namespace qvr::test {

class TestComediDriver : public QObject {
    Q_OBJECT

    FakeComedi* fake_ = nullptr;
    std::unique_ptr<ComediDriver> driver_;

    void makeDriver(std::map<std::string, FakeNode> nodes = {{"/dev/comedi0", das08()}}) {
        auto api = std::make_unique<FakeComedi>();
        fake_ = api.get();
        fake_->nodes = std::move(nodes);
        driver_ = std::make_unique<ComediDriver>(std::move(api));
    }
    // The board type, or 0 when the query fails and leaves the value alone.
    std::int32_t boardType(int board, int* status = nullptr) {
        std::int32_t type = kCanary32;
        const int s = driver_->cbGetConfig(BOARDINFO, board, 0, BIBOARDTYPE, type);
        if (status)
            *status = s;
        return s == kStatusOk ? type : (type == kCanary32 ? 0 : -1);
    }

private slots:
    void boardType_data() {
        QTest::addColumn<std::vector<FakeSubdevice>>("subdevices"); // empty: no node
        QTest::addColumn<int>("status");
        using V = std::vector<FakeSubdevice>;
        QTest::newRow("no node") << V{} << kStatusNoDevice;
        QTest::newRow("no analog input") << V{kOther, kDi, kDo} << kStatusUnsuitable;
        // comedi_find_range() offers a wider range; counts on it would read twice too wide.
        QTest::newRow("only +-10 V") << V{ai({kBip10}), kDi, kDo} << kStatusUnsuitable;
        QTest::newRow("+-5 mA") << V{ai({kMilliamps}), kDi, kDo} << kStatusUnsuitable;
        QTest::newRow("maxdata 0") << V{ai({kBip5}, 0), kDi, kDo} << kStatusUnsuitable;
        QTest::newRow("no digital input") << V{ai({kBip5}), kOther, kDo} << kStatusUnsuitable;
        QTest::newRow("no digital output") << V{ai({kBip5}), kDi, kOther} << kStatusUnsuitable;
        QTest::newRow("pci-das08") << das08().subdevices << kStatusOk;
        QTest::newRow("+-10, +-5, +-1 V") << V{ai({kBip10, kBip5, kBip1}), kDi, kDo} << kStatusOk;
    }
    void boardType() {
        QFETCH(std::vector<FakeSubdevice>, subdevices);
        QFETCH(int, status);
        std::map<std::string, FakeNode> nodes;
        if (!subdevices.empty())
            nodes["/dev/comedi0"] = FakeNode{"some-board", subdevices};
        makeDriver(nodes);
        int got = -1;
        QCOMPARE(boardType(0, &got), status == kStatusOk ? kComediBoardType : 0);
        QCOMPARE(got, status);
        QCOMPARE(driver_->lastError().isEmpty(), status == kStatusOk);
    }

    void boardName_data() {
        QTest::addColumn<QByteArray>("comediName");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("pci-das08") << QByteArray("pci-das08") << QByteArray("PCI-DAS08");
        QTest::newRow("24 characters") << QByteArray(24, 'x') << QByteArray(24, 'x');
        QTest::newRow("25 characters") << QByteArray(25, 'y') << QByteArray(24, 'y');
    }
    void boardName() {
        QFETCH(QByteArray, comediName);
        QFETCH(QByteArray, written);
        makeDriver({{"/dev/comedi0", {comediName.toStdString(), das08().subdevices}}});
        // The caller's 25 blanks, and guard bytes behind them that no call may reach.
        std::array<char, kBoardNameSize + 8> buffer;
        buffer.fill('\x5a');
        std::memset(buffer.data(), ' ', kBoardNameSize);
        QCOMPARE(driver_->cbGetBoardName(0, buffer.data()), kStatusOk);
        QCOMPARE(QByteArray(buffer.data()), written);
        for (std::size_t i = std::size_t(written.size()) + 1; i < buffer.size(); ++i)
            QCOMPARE(buffer[i], i < std::size_t{kBoardNameSize} ? ' ' : '\x5a');
    }

    void countsAreScaledTo12Bits_data() {
        QTest::addColumn<unsigned>("maxdata");
        QTest::addColumn<unsigned>("raw");
        QTest::addColumn<int>("count");
        QTest::newRow("12 bit, above maxdata") << 4095u << 5000u << 4095;
        QTest::newRow("16 bit, 8 rounds down") << 65535u << 8u << 0;
        QTest::newRow("16 bit, 9 rounds up") << 65535u << 9u << 1;
        QTest::newRow("8 bit, 1") << 255u << 1u << 16;
    }
    void countsAreScaledTo12Bits() {
        QFETCH(unsigned, maxdata);
        QFETCH(unsigned, raw);
        QFETCH(int, count);
        makeDriver({{"/dev/comedi3", shuffled(maxdata)}});
        fake_->sample = raw;
        std::int16_t value = kCanary16;
        QCOMPARE(driver_->cbAIn(3, 7, BIP5VOLTS, value), kStatusOk);
        QCOMPARE(int(value), count);
        // From the subdevice found by type, on its +-5 V range, against ground.
        QCOMPARE(fake_->reads,
                 (std::vector<std::array<unsigned, 4>>{{3, 7, 1, kComediGroundReference}}));
    }

    void headPortBits_data() {
        QTest::addColumn<bool>("write");
        QTest::addColumn<unsigned>("given"); // input lines, or the value written
        QTest::addColumn<unsigned>("bits");  // port value read, or output lines
        QTest::newRow("IP3 (EEPROM DO)") << false << 4u << 4u;
        QTest::newRow("bits above IP3 dropped") << false << 0xfffffffau << 2u;
        QTest::newRow("LED and buzzer 13") << true << 13u << 13u;
        QTest::newRow("bits above OP4 dropped") << true << 0xfff6u << 6u;
    }
    void headPortBits() {
        QFETCH(bool, write);
        QFETCH(unsigned, given);
        QFETCH(unsigned, bits);
        makeDriver({{"/dev/comedi0", shuffled()}});
        fake_->inputs = given;
        std::int16_t value = kCanary16;
        if (write) {
            QCOMPARE(driver_->cbDOut(0, AUXPORT, std::uint16_t(given)), kStatusOk);
            QCOMPARE(fake_->writes, (std::vector<std::array<unsigned, 3>>{{0u, 0xfu, bits}}));
            return;
        }
        QCOMPARE(driver_->cbDIn(0, AUXPORT, value), kStatusOk);
        QCOMPARE(unsigned(value), bits);
        QVERIFY(fake_->writes.empty()); // a read writes no output line
    }

    void refusedCalls_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("arg"); // channel, range code, port, config argument or buffer
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error"); // part of lastError()
        const QString noNode = "/dev/comedi1: comedi_open: " + QString(std::strerror(ENOENT));
        QTest::newRow("ain board -1") << "ain" << -1 << 0 << kStatusBadBoard << "-1";
        QTest::newRow("dout board 200") << "dout" << kMaxBoards << 1 << kStatusBadBoard << "200";
        QTest::newRow("ain no node") << "ain" << 1 << 0 << kStatusNoDevice << noNode;
        QTest::newRow("din port 0") << "din" << 0 << 0 << kStatusBadPort << "port 0";
        QTest::newRow("dout port 2") << "dout" << 0 << 2 << kStatusBadPort << "port 2";
        QTest::newRow("channel 8") << "ain" << 0 << 8 << kStatusBadChannel << "channel 8";
        QTest::newRow("channel -1") << "ain" << 0 << -1 << kStatusBadChannel << "channel -1";
        QTest::newRow("range code 1") << "ain-range" << 0 << 1 << kStatusBadRange << "code 1";
        QTest::newRow("information 1") << "config-class" << 0 << 1 << kStatusBadConfigItem << "";
        QTest::newRow("device 1") << "config-device" << 0 << 1 << kStatusBadConfigItem << "";
        QTest::newRow("item 2") << "config-item" << 0 << 2 << kStatusBadConfigItem << "";
        QTest::newRow("no name buffer") << "name" << 0 << 0 << kStatusBadBuffer << "buffer";
    }
    void refusedCalls() {
        QFETCH(QString, call);
        QFETCH(int, board);
        QFETCH(int, arg);
        QFETCH(int, status);
        QFETCH(QString, error);
        makeDriver();
        fake_->inputs = 7;
        Destinations d;
        QCOMPARE(run(*driver_, call, board, arg, d), status);
        QVERIFY(d.untouched());
        QVERIFY(fake_->reads.empty() && fake_->writes.empty());
        if (status == kStatusBadBoard)
            QCOMPARE(fake_->opens, 0);
        QVERIFY2(driver_->lastError().contains(error), qPrintable(driver_->lastError()));
    }

    void boardIsOpenedOnceAndClosedAtTheEnd() {
        makeDriver({{"/dev/comedi0", das08()}, {"/dev/comedi1", das08()}});
        Destinations d;
        for (const char* call : {"ain", "din", "dout", "name", "ain", "din", "dout", "name"})
            QCOMPARE(run(*driver_, call, 0, QString(call) == "ain" ? 0 : 1, d), kStatusOk);
        QCOMPARE(boardType(1), kComediBoardType);
        QCOMPARE(fake_->opens, 2);
        const std::shared_ptr<int> closes = fake_->closes;
        QCOMPARE(*closes, 0);
        driver_.reset();
        QCOMPARE(*closes, 2);
    }

    void failedCallIsReportedAndReopened_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("function");
        QTest::newRow("cbAIn, timed out") << "ain" << ETIMEDOUT << "comedi_data_read";
        QTest::newRow("cbDIn, I/O error") << "din" << EIO << "comedi_dio_bitfield2";
        QTest::newRow("cbGetBoardName") << "name" << ENODEV << "comedi_get_board_name";
    }
    void failedCallIsReportedAndReopened() {
        QFETCH(QString, call);
        QFETCH(int, error);
        QFETCH(QString, function);
        makeDriver();
        fake_->inputs = 5;
        fake_->sample = 1234;
        fake_->failures = 1;
        fake_->failErrno = error;
        const int arg = call == "ain" ? 0 : 1;
        Destinations d;
        QCOMPARE(run(*driver_, call, 0, arg, d), kStatusIoFailed);
        QVERIFY(d.untouched());
        QCOMPARE(
            driver_->lastError(),
            QStringLiteral("/dev/comedi0: %1: %2").arg(function, QString(std::strerror(error))));
        QCOMPARE(*fake_->closes, 1);
        QCOMPARE(run(*driver_, call, 0, arg, d), kStatusOk);
        QCOMPARE(fake_->opens, 2);
        if (call == "name")
            QCOMPARE(QByteArray(d.name), QByteArray("PCI-DAS08"));
        else if (call != "dout")
            QCOMPARE(int(d.value), call == "ain" ? 1234 : 5);
    }

    // A board gone or unsuitable is not kept: what comes back is looked at afresh.
    void unpluggedBoardComesBack() {
        makeDriver();
        Destinations d;
        QCOMPARE(run(*driver_, "ain", 0, 0, d), kStatusOk);
        const FakeNode card = fake_->nodes.at("/dev/comedi0");
        fake_->nodes.clear();
        d = Destinations();
        QCOMPARE(run(*driver_, "ain", 0, 0, d), kStatusIoFailed);
        QVERIFY(driver_->lastError().endsWith(QString(std::strerror(ENODEV))));
        QCOMPARE(run(*driver_, "ain", 0, 0, d), kStatusNoDevice);
        QCOMPARE(boardType(0), 0);
        QVERIFY(d.untouched());
        fake_->nodes["/dev/comedi0"] = FakeNode{"other", {ai({kBip5}), kDi}};
        QCOMPARE(boardType(0), 0);
        QCOMPARE(boardType(0), 0);
        fake_->nodes["/dev/comedi0"] = card;
        QCOMPARE(boardType(0), kComediBoardType);
        QCOMPARE(run(*driver_, "ain", 0, 0, d), kStatusOk);
        QCOMPARE(d.value, std::int16_t{2048});
    }
};

} // namespace qvr::test

QTEST_GUILESS_MAIN(qvr::test::TestComediDriver)
#include "test_comedi_driver.moc"
