#pragma once
// The comedilib functions the card backend uses, behind one table so that tests can put a fake
// device table in place of real /dev/comedi nodes. Each member mirrors one comedilib function and
// keeps its failure convention (NULL, -1 or 0 as noted); comedilib's own types stay out of this
// header so that code outside the backend never needs comedilib.h.

#include <memory>
#include <optional>
#include <string>

namespace qvr {

// Opaque device handle: comedi_t on the real library, anything the fake likes in tests.
struct ComediDevice;

enum class ComediSubdevice { AnalogInput, DigitalInput, DigitalOutput };

// Analog reference of every conversion (comedi's AREF_GROUND).
inline constexpr unsigned kComediGroundReference = 0;

struct ComediRange {
    bool volts = false; // unit is the volt (not mA or none)
    double min = 0;
    double max = 0;
};

class ComediApi {
public:
    virtual ~ComediApi() = default;

    virtual ComediDevice* open(const char* path) = 0;     // comedi_open: NULL on failure
    virtual void close(ComediDevice* dev) = 0;            // comedi_close
    virtual const char* boardName(ComediDevice* dev) = 0; // comedi_get_board_name: NULL on failure
    // comedi_find_subdevice_by_type from subdevice 0: the index, or -1.
    virtual int findSubdevice(ComediDevice* dev, ComediSubdevice type) = 0;
    virtual int channelCount(ComediDevice* dev, unsigned subd) = 0; // comedi_get_n_channels: -1
    // comedi_find_range in volts: the smallest range holding [minVolts, maxVolts], or -1.
    virtual int findRange(ComediDevice* dev, unsigned subd, unsigned chan, double minVolts,
                          double maxVolts) = 0;
    // comedi_get_range: nothing on failure.
    virtual std::optional<ComediRange> range(ComediDevice* dev, unsigned subd, unsigned chan,
                                             unsigned range) = 0;
    virtual unsigned maxdata(ComediDevice* dev, unsigned subd, unsigned chan) = 0; // 0 on failure
    // comedi_data_read: 1 on success, -1 on failure.
    virtual int dataRead(ComediDevice* dev, unsigned subd, unsigned chan, unsigned range,
                         unsigned aref, unsigned& data) = 0;
    // comedi_dio_bitfield2: 0 on success, -1 on failure.
    virtual int dioBitfield2(ComediDevice* dev, unsigned subd, unsigned writeMask, unsigned& bits,
                             unsigned baseChannel) = 0;
    virtual int errorNumber() = 0;                 // comedi_errno
    virtual std::string errorText(int errnum) = 0; // comedi_strerror
};

// The table filled with the real comedilib.
std::unique_ptr<ComediApi> makeLibComediApi();

} // namespace qvr
