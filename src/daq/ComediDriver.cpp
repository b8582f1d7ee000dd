#include "daq/ComediDriver.h"

#include <QDir>

namespace qvr {

namespace {
// Until the comedilib mapping lands: every call fails, no board is installed.
class NoCardDriver : public DaqDriver {
public:
    int cbAIn(int, int, int, std::int16_t&) override { return 1; }
    int cbDIn(int, int, std::int16_t&) override { return 1; }
    int cbDOut(int, int, std::uint16_t) override { return 1; }
    int cbGetConfig(int, int, int, int, std::int32_t& value) override {
        value = 0;
        return 0;
    }
    int cbGetBoardName(int, char* name) override {
        name[0] = '\0';
        return 0;
    }
};
} // namespace

std::unique_ptr<DaqDriver> makeComediDriver() { return std::make_unique<NoCardDriver>(); }

bool comediDeviceExists() {
    return !QDir("/dev").entryList({"comedi*"}, QDir::System).isEmpty();
}

} // namespace qvr
