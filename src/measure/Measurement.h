#pragma once
// Zeroing and absorbance: the zero reference z1 and the text of A.

namespace qvr {

class Acquisition;
class MessageSink;
class Timer;

inline constexpr double kLightPathLevel = 0.2; // a zero below it: text 1011
inline constexpr double kDimLampLevel = 0.4;   // a zero below it: text 1010

class Measurement {
public:
    Measurement(Acquisition& acquisition, Timer& tmrRead, MessageSink& messages);

    // Stops tmrRead, takes a reading as z1, shows it in lblZero, counts it in Zeros, may caution,
    // starts tmrRead.
    // A reading that is not a value is no zero: z1 stays, lblZero and A show "Error", no
    // caution, tmrRead stays off, and false tells the caller to zero again.
    bool zero();
    // Takes a reading, writes A = z1 - v1, starts tmrRead. A failed reading shows "Error" and
    // leaves z1 alone.
    void getA();

private:
    Acquisition& acquisition_;
    Timer& tmrRead_;
    MessageSink& messages_;
    int zeros_ = 0; // taken since the start
};

} // namespace qvr
