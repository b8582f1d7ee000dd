#pragma once
// What the reader is doing, as the workstation shows it: a few words and a tone the window
// turns into a colour.

#include "dose/core/ReadingRules.h"

namespace qvr::dose {

enum class LinkState {
    NotRunning,
    Starting,
    Zeroing,
    Reading,
    Simulated,
    FilterCheck,
    Fault,
    Older
};

// A tone for everything the window colours: the link, a dose against its limits.
enum class Tone { Good, Busy, Caution, Bad, Off };

// items is null when the reader could not be reached.
LinkState linkStateOf(const ReaderItems* items);
QString linkStateWords(LinkState state); // "reading", "filter check", "not running", ...
Tone linkTone(LinkState state);

} // namespace qvr::dose
