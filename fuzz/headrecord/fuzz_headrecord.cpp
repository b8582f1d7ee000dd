// Any head record and any stored gain: the check always leaves a usable gain and never
// anything but the head's own record or the default one.
//
// Input: up to 64 bytes of head record (one character per byte); what follows is the text
// stored under the record's "GainSN" key (UTF-8).

#include "core/LabelModel.h"
#include "core/MessageSink.h"
#include "core/ReaderState.h"
#include "core/Settings.h"
#include "head/HeadRecord.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace qvr;

namespace {

class Silent : public MessageSink {
public:
    void showMessage(const QString& text) override {
        if (text.isEmpty())
            std::abort();
    }
};

constexpr std::size_t kRecordBytes = 64;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t recordBytes = std::min(size, kRecordBytes);
    const auto* chars = reinterpret_cast<const char*>(data);
    ReaderState state;
    state.rdrEEPROM = QString::fromLatin1(chars, static_cast<qsizetype>(recordBytes));
    const QString own = state.rdrEEPROM;
    MemorySettings settings;
    settings.write(
        QStringLiteral("GainSN") + own.mid(6, 4),
        QString::fromUtf8(chars + recordBytes, static_cast<qsizetype>(size - recordBytes)));
    LabelModel labels;
    Silent messages;
    const WavelengthCaptions captions = parseEEPROM(state, labels, settings, messages);
    if (!std::isfinite(state.rdrGain) || !(state.rdrGain > 0))
        std::abort();
    if (state.rdrEEPROM != own && state.rdrEEPROM != defaultHeadRecord())
        std::abort();
    if (captions.primary.isEmpty() || captions.secondary.isEmpty())
        std::abort();
    return 0;
}
