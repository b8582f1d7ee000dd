#pragma once
// The head's clear-path zero: the last zero the reader took with the film out and outside the
// filter check, one per head serial and wavelength. A later zero darker than it by more than
// the limit has something in the light path (a film the switch missed, a filter, the filter
// holder) and would shift every reading after it; it is not used.
//
// Stored under "ClearZero<serial>_<nm>" as the zero and the time it was taken
// ("1.0526 2026-01-01T08:00:00Z"); the built-in default head keeps its reference for the run
// only, as its gain is never stored either.

#include <QHash>
#include <QString>
#include <optional>

namespace qvr {

class Clock;
class SettingsStore;

inline constexpr double kClearPathLimit = 0.05;
// A lamp dims slowly: against a reference this old a darker zero is no longer a sign of
// something in the path, and the zero is taken (with the lamp cautions).
inline constexpr qint64 kClearPathAgeMs = 7LL * 24 * 60 * 60 * 1000;

class ClearPath {
public:
    ClearPath(SettingsStore& settings, const Clock& clock);

    // The head and wavelength ("510") zeroes are judged for from now on. stored: the head
    // identified itself, so its reference outlives the run.
    void select(const QString& serial, const QString& wavelength, bool stored);

    // By how much zero is darker than the reference, when by more than the limit against a
    // reference younger than the age limit; nullopt when the zero may be used.
    std::optional<double> darkness(double zero) const;

    // zero becomes the reference, taken now.
    void keep(double zero);

    static QString key(const QString& serial, const QString& wavelength);

private:
    struct Reference {
        double zero = 0;
        qint64 takenMs = 0; // since 1970, UTC
    };

    SettingsStore& settings_;
    const Clock& clock_;
    QString key_; // the settings key, or a key of this run's alone
    bool stored_ = false;
    QHash<QString, Reference> known_; // by key_: this run's references, each read once
};

} // namespace qvr
