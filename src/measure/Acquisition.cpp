#include "measure/Acquisition.h"

#include "core/LabelModel.h"
#include "core/NumberText.h"
#include "core/ReaderState.h"
#include "daq/Driver.h"
#include "head/HeadLines.h"

#include <cmath>
#include <limits>

namespace qvr {

namespace {
const QString kFilm = QStringLiteral("Film");
const QString kNoFilm = QStringLiteral("No Film");
} // namespace

Acquisition::Acquisition(HeadLines& lines) : lines_(lines) {}

std::int16_t Acquisition::getADC() {
    ReaderState& st = lines_.state();
    std::int16_t count = 0;
    st.recordStatus(lines_.driver().cbAIn(st.BoardNum, 0, BIP5VOLTS, count));
    lines_.labels().set(Label::lblADC, QString::number(count));
    lines_.pushButton();
    present();
    return count;
}

bool Acquisition::present() {
    const bool film = (lines_.readStatus() & 1) == 0;
    lines_.labels().set(Label::lblPresent, film ? kFilm : kNoFilm);
    return film;
}

double detectorValue(double volts, double gain) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    if (!(std::isfinite(gain) && gain > 0))
        return kNaN;
    const double v = volts / gain;
    return std::isfinite(v) ? v : kNaN;
}

void Acquisition::getVoltages() {
    std::int32_t sum = 0;
    for (int i = 0; i < kSamplesPerReading; ++i) {
        int count = getADC();
        if (count > 4095)
            count = 4095;
        if (count < 0)
            count = 0;
        sum += count;
    }
    const double volts = sum / (kSamplesPerReading * kCountsPerVolt) - 5.0;

    ReaderState& st = lines_.state();
    st.v1 = detectorValue(volts, st.rdrGain);
    lines_.labels().set(Label::lblVolt, formatFixed(volts, 4));
    if (std::fabs(st.v1 - st.oldv1) < kSmoothingBand)
        st.v1 = (st.v1 + st.oldv1) / 2;
    st.oldv1 = st.v1;
}

} // namespace qvr
