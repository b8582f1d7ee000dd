#pragma once
// The head record: model, serial number, gain and wavelengths, checked and taken apart.

#include <QString>

namespace qvr {

class LabelModel;
class MessageSink;
class SettingsStore;
struct ReaderState;

// The record used when the head's own does not begin like one.
QString defaultHeadRecord();

// Captions of the two wavelength menu items, as the record check sets them.
struct WavelengthCaptions {
    QString primary;   // "510 nm", or "WL1 nm" when the first wavelength is out of range
    QString secondary; // likewise for the second
};

// Takes rdrEEPROM apart into rdrModel, rdrSN, rdrGain, rdrWL1, rdrWL2 and the head labels,
// shows its warnings (1101, 1103, 1102 in that order, each at most once), prefers the gain
// stored under "GainSN" + rdrSN, and sets headIdentified. Always leaves usable values:
// rdrGain is a finite number above 0 on return.
WavelengthCaptions parseEEPROM(ReaderState& state, LabelModel& labels,
                               const SettingsStore& settings, MessageSink& messages);

} // namespace qvr
