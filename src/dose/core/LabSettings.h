#pragma once
// The lab-wide settings: the calibration acceptance minimums (which may be raised, never
// lowered below the defaults) and how recent a passing reader check must be. Each change is a
// chained row naming one setting, its new value, who set it, when and why; the latest row of
// each name is in force.

#include "dose/core/Acceptance.h"
#include "dose/core/Outcome.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <vector>

namespace qvr::dose {

// How long the window may stand idle before it locks, unless the lab sets otherwise.
inline constexpr int kDefaultIdleLockMinutes = 15;
inline constexpr int kMaxIdleLockMinutes = 480;

struct LabSetting {
    qint64 id = 0;
    QString name;  // "min_levels" ...
    QString value; // as settingValue() gives it
    QString reason;
    QString operatorName;
    QDateTime createdAt;

    QString canonical() const;
};

struct LabSettings {
    AcceptanceCriteria criteria;
    double checkIntervalHours = 0; // 0: a check counts for the calendar day it was made on
    QString timeZone;              // the lab's, an IANA id; empty: this computer's
    int idleLockMinutes = kDefaultIdleLockMinutes; // the window locks after this long idle

    QTimeZone zone() const;
    QString checkIntervalText() const; // "the same calendar day (Europe/Berlin)", "8 h"
};

// The names, in the order they are shown.
const QStringList& settingNames();

// The value of a setting as stored ("6", "day", "12.5", "Europe/Berlin"), or why value is not
// one: below the least, not a number, an unknown zone.
Outcome<QString> settingValue(const QString& name, const QString& value);

// The settings in force: the defaults, then every row in order.
LabSettings labSettings(const std::vector<LabSetting>& rows);

} // namespace qvr::dose
