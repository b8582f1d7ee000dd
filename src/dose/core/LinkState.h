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
    // Reading against a zero that raised the reader's light-path caution: no capture.
    Caution,
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
// The words with the reader's reason where it gives one: the fault, or the caution's notice.
QString linkStateWords(LinkState state, const ReaderItems& items);
Tone linkTone(LinkState state);

} // namespace qvr::dose
