#pragma once
// Zeroing and absorbance: the zero reference z1 and the text of A.

namespace qvr {

class Acquisition;
class ClearPath;
class MessageSink;
class Timer;

inline constexpr double kLightPathLevel = 0.2; // a zero below it: text 1011
inline constexpr double kDimLampLevel = 0.4;   // a zero below it: text 1010

// What came of a zero.
struct ZeroResult {
    enum Outcome {
        FilmIn, // the film switch says a film is in the holder: no zero was taken
        Failed, // the reading is no value (a fault): no zero was taken
        Darker, // darker than the clear path by more than the limit: not used
        Taken,  // the zero is in use
    };
    Outcome outcome = Failed;
    double darkness = 0; // Darker: by how much
    int caution = 0;     // Taken: the caution it raised (1010, 1011) or 0
};

class Measurement {
public:
    // clearPath (when given) judges every zero and keeps the ones taken.
    Measurement(Acquisition& acquisition, Timer& tmrRead, MessageSink& messages,
                ClearPath* clearPath = nullptr);

    // The one place the reader's zero is taken. Stops tmrRead; with the film switch open, takes
    // a reading; one that is a value and not darker than the clear path (unless trusted)
    // becomes z1, shows in lblZero, is counted in Zeros, becomes the clear path, may caution,
    // and starts tmrRead. Anything else leaves z1 alone and tmrRead off; a failed reading
    // shows "Error" in lblZero and A (once: a retry that fails again writes nothing).
    ZeroResult zero(bool trusted = false);
    // A zero taken earlier at this wavelength is in use again: z1 and lblZero, and tmrRead
    // starts. Not counted in Zeros: no zero was taken.
    void useZero(double z);
    // Takes a reading, writes A = z1 - v1, starts tmrRead. A failed reading shows "Error" and
    // leaves z1 alone. True when the reading is a value.
    bool getA();

private:
    Acquisition& acquisition_;
    Timer& tmrRead_;
    MessageSink& messages_;
    ClearPath* clearPath_;
    int zeros_ = 0; // taken since the start
};

} // namespace qvr
