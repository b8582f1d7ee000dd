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

    // Stops tmrRead, takes a reading as z1, shows it in lblZero, may caution, starts tmrRead.
    void zero();
    // Takes a reading, writes A = z1 - v1, starts tmrRead.
    void getA();

private:
    Acquisition& acquisition_;
    Timer& tmrRead_;
    MessageSink& messages_;
};

} // namespace qvr
