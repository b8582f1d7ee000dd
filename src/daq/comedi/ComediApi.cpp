#include "daq/comedi/ComediApi.h"

#include <comedilib.h>

namespace qvr {

static_assert(kComediGroundReference == AREF_GROUND);

namespace {

comedi_t* raw(ComediDevice* dev) {
    return reinterpret_cast<comedi_t*>(dev);
}

int comediType(ComediSubdevice type) {
    switch (type) {
    case ComediSubdevice::AnalogInput:
        return COMEDI_SUBD_AI;
    case ComediSubdevice::DigitalInput:
        return COMEDI_SUBD_DI;
    case ComediSubdevice::DigitalOutput:
        return COMEDI_SUBD_DO;
    }
    return COMEDI_SUBD_UNUSED;
}

class LibComediApi : public ComediApi {
public:
    ComediDevice* open(const char* path) override {
        return reinterpret_cast<ComediDevice*>(comedi_open(path));
    }
    void close(ComediDevice* dev) override { comedi_close(raw(dev)); }
    const char* boardName(ComediDevice* dev) override { return comedi_get_board_name(raw(dev)); }
    int findSubdevice(ComediDevice* dev, ComediSubdevice type) override {
        return comedi_find_subdevice_by_type(raw(dev), comediType(type), 0);
    }
    int channelCount(ComediDevice* dev, unsigned subd) override {
        return comedi_get_n_channels(raw(dev), subd);
    }
    int findRange(ComediDevice* dev, unsigned subd, unsigned chan, double minVolts,
                  double maxVolts) override {
        return comedi_find_range(raw(dev), subd, chan, UNIT_volt, minVolts, maxVolts);
    }
    std::optional<ComediRange> range(ComediDevice* dev, unsigned subd, unsigned chan,
                                     unsigned range) override {
        const comedi_range* r = comedi_get_range(raw(dev), subd, chan, range);
        if (!r)
            return std::nullopt;
        return ComediRange{r->unit == UNIT_volt, r->min, r->max};
    }
    unsigned maxdata(ComediDevice* dev, unsigned subd, unsigned chan) override {
        return comedi_get_maxdata(raw(dev), subd, chan);
    }
    int dataRead(ComediDevice* dev, unsigned subd, unsigned chan, unsigned range, unsigned aref,
                 unsigned& data) override {
        lsampl_t sample = 0;
        const int rc = comedi_data_read(raw(dev), subd, chan, range, aref, &sample);
        data = sample;
        return rc;
    }
    int dioBitfield2(ComediDevice* dev, unsigned subd, unsigned writeMask, unsigned& bits,
                     unsigned baseChannel) override {
        return comedi_dio_bitfield2(raw(dev), subd, writeMask, &bits, baseChannel);
    }
    int errorNumber() override { return comedi_errno(); }
    std::string errorText(int errnum) override {
        const char* text = comedi_strerror(errnum);
        return text ? text : "unknown comedi error";
    }
};

} // namespace

std::unique_ptr<ComediApi> makeLibComediApi() {
    return std::make_unique<LibComediApi>();
}

} // namespace qvr
