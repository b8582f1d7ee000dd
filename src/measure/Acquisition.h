#pragma once
// The detector reading: 5000 conversions of channel 0, clamped, summed, scaled and smoothed.

#include <QString>
#include <cstdint>

namespace qvr {

class FaultState;
class HeadLines;

inline constexpr int kSamplesPerReading = 5000;
inline constexpr double kCountsPerVolt = 409.5; // 4095 counts over 10 V
inline constexpr double kSmoothingBand = 0.02;
inline constexpr int kMaxCount = 4095;

class Acquisition {
public:
    // faults (when given) hears of every reading: a failed call raises it, a whole good
    // reading clears it.
    explicit Acquisition(HeadLines& lines, FaultState* faults = nullptr);

    // One conversion; refreshes lblADC, lblButton and lblPresent.
    std::int16_t getADC();
    // One reading into v1 (and oldv1); writes lblVolt. A reading during which any driver
    // call failed stops at that call and is not a value: v1 is NaN, lblVolt "Error", and the
    // next reading is not smoothed against anything before it. So is a reading whose every
    // count sat at one rail of the converter (no signal: a dead converter, an open input) and
    // one that gives no finite v1 (no usable gain). True for a good reading.
    bool getVoltages();
    // Reads the film switch; true when film is in the head; writes lblPresent ("—" when the
    // switch could not be read, which counts as no film).
    bool present();
    // The film switch as last read: film in the head.
    bool filmIn() const { return film_; }

    HeadLines& lines() { return lines_; }

private:
    bool failed(const QString& detail);

    HeadLines& lines_;
    FaultState* faults_;
    bool film_ = false;
};

// v1 before smoothing: the converter voltage divided by the gain. A gain that is not a
// finite number above 0, or one so small that the quotient overflows, gives NaN, which every
// display shows as "Error", never "inf".
double detectorValue(double volts, double gain);

// The fault of a reading whose every count was count (0 or 4095).
QString railText(int count);

} // namespace qvr
