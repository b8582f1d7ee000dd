#include "measure/Acquisition.h"

#include "core/FaultState.h"
#include "core/LabelModel.h"
#include "core/NumberText.h"
#include "core/ReaderState.h"
#include "daq/Driver.h"
#include "head/HeadLines.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qvr {

namespace {
const QString kFilm = QStringLiteral("Film");
const QString kNoFilm = QStringLiteral("No Film");
} // namespace

Acquisition::Acquisition(HeadLines& lines, FaultState* faults) : lines_(lines), faults_(faults) {}

std::int16_t Acquisition::getADC() {
    ReaderState& st = lines_.state();
    std::int16_t count = 0;
    const int status = lines_.driver().cbAIn(st.BoardNum, 0, BIP5VOLTS, count);
    st.recordStatus(status);
    lines_.labels().set(Label::lblADC, status == 0 ? QString::number(count) : kNotANumberText);
    lines_.pushButton();
    present();
    return count;
}

bool Acquisition::present() {
    const std::optional<std::int16_t> in = lines_.readStatus();
    film_ = in && (*in & 1) == 0;
    lines_.labels().set(Label::lblPresent, !in ? kNotReadText : film_ ? kFilm : kNoFilm);
    return film_;
}

double detectorValue(double volts, double gain) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    if (!(std::isfinite(gain) && gain > 0))
        return kNaN;
    const double v = volts / gain;
    return std::isfinite(v) ? v : kNaN;
}

bool Acquisition::failed(const QString& detail) {
    ReaderState& st = lines_.state();
    st.v1 = std::numeric_limits<double>::quiet_NaN();
    st.oldv1 = st.v1;
    if (faults_ && !detail.isEmpty())
        faults_->raise(detail);
    return false;
}

bool Acquisition::getVoltages() {
    ReaderState& st = lines_.state();
    st.callFailure = 0;
    std::int32_t sum = 0;
    int lowest = kMaxCount;
    int highest = 0;
    for (int i = 0; i < kSamplesPerReading; ++i) {
        const int count = std::clamp<int>(getADC(), 0, kMaxCount);
        if (st.callFailure != 0)
            break; // the reading is lost already; spare the card the rest
        lowest = std::min(lowest, count);
        highest = std::max(highest, count);
        sum += count;
    }
    if (st.callFailure != 0) {
        lines_.labels().set(Label::lblVolt, kNotANumberText);
        return failed(failureText(st.callFailure, lines_.driver().lastError()));
    }
    const double volts = sum / (kSamplesPerReading * kCountsPerVolt) - 5.0;
    lines_.labels().set(Label::lblVolt, formatFixed(volts, 4));
    // Noise moves a live detector's counts: a whole reading on one rail is no signal at all.
    if (highest == 0 || lowest == kMaxCount)
        return failed(railText(highest == 0 ? 0 : kMaxCount));
    st.v1 = detectorValue(volts, st.rdrGain);
    if (!std::isfinite(st.v1))
        return failed({});
    if (faults_)
        faults_->clear();
    if (std::fabs(st.v1 - st.oldv1) < kSmoothingBand)
        st.v1 = (st.v1 + st.oldv1) / 2;
    st.oldv1 = st.v1;
    return true;
}

QString railText(int count) {
    return count == 0
               ? QStringLiteral("converter at its rail: every count of the reading was 0 "
                                "(no signal: converter dead or detector not connected)")
               : QStringLiteral("converter at its rail: every count of the reading was "
                                "4095 (the detector signal is beyond the converter's range)");
}

} // namespace qvr
