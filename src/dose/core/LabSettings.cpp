#include "dose/core/LabSettings.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

namespace {

const QString kMinLevels = QStringLiteral("min_levels");
const QString kPerDecade = QStringLiteral("levels_per_decade");
const QString kMinReplicates = QStringLiteral("min_replicates");
const QString kCheckInterval = QStringLiteral("check_interval");
const QString kTimeZone = QStringLiteral("time_zone");
const QString kIdleLock = QStringLiteral("idle_lock_minutes");

Outcome<QString> count(const QString& value, int least, const QString& what) {
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < least || n > 1000)
        return Failure{QStringLiteral("%1 is a whole number from %2 (the least the lab may ask) to "
                                      "1000, not \"%3\"")
                           .arg(what)
                           .arg(least)
                           .arg(value)};
    return QString::number(n);
}

} // namespace

QString LabSetting::canonical() const {
    return Canonical(QStringLiteral("lab_setting"))
        .integer("id", id)
        .text("name", name)
        .text("value", value)
        .text("reason", reason)
        .text("operator", operatorName)
        .time("created_at", createdAt)
        .finish();
}

QTimeZone LabSettings::zone() const {
    const QTimeZone z(timeZone.toUtf8());
    return timeZone.isEmpty() || !z.isValid() ? QTimeZone::systemTimeZone() : z;
}

QString LabSettings::checkIntervalText() const {
    if (checkIntervalHours > 0)
        return QStringLiteral("%1 h").arg(numberText(checkIntervalHours));
    return QStringLiteral("the same calendar day (%1)").arg(QString::fromUtf8(zone().id()));
}

const QStringList& settingNames() {
    static const QStringList names{kMinLevels,     kPerDecade, kMinReplicates,
                                   kCheckInterval, kTimeZone,  kIdleLock};
    return names;
}

Outcome<QString> settingValue(const QString& name, const QString& value) {
    const AcceptanceCriteria least = kLeastCriteria;
    if (name == kMinLevels)
        return count(value, least.minLevels, QStringLiteral("the least number of dose levels"));
    if (name == kPerDecade)
        return count(value, least.levelsPerDecade,
                     QStringLiteral("the dose levels per factor of ten"));
    if (name == kMinReplicates)
        return count(value, least.minReplicates,
                     QStringLiteral("the least number of films at each dose level"));
    if (name == kCheckInterval) {
        if (value == u"day")
            return QStringLiteral("day");
        const auto hours = parseNumber(value);
        if (!hours || !(*hours > 0) || *hours > 24 * 366)
            return Failure{QStringLiteral("the reader check interval is \"day\" or a number of "
                                          "hours above 0, not \"%1\"")
                               .arg(value)};
        return numberText(*hours);
    }
    if (name == kTimeZone) {
        if (value.isEmpty() || QTimeZone(value.toUtf8()).isValid())
            return value;
        return Failure{QStringLiteral("\"%1\" is not a time zone this computer knows (such as "
                                      "Europe/Berlin)")
                           .arg(value)};
    }
    if (name == kIdleLock) {
        // Never off: an unattended window is one anybody may sign in.
        bool ok = false;
        const int minutes = value.toInt(&ok);
        if (!ok || minutes < 1 || minutes > kMaxIdleLockMinutes)
            return Failure{QStringLiteral("the idle time before the window locks is a whole "
                                          "number of minutes from 1 to %1, not \"%2\"")
                               .arg(kMaxIdleLockMinutes)
                               .arg(value)};
        return QString::number(minutes);
    }
    return Failure{QStringLiteral("there is no lab setting %1").arg(name)};
}

LabSettings labSettings(const std::vector<LabSetting>& rows) {
    LabSettings s;
    for (const LabSetting& row : rows) {
        // A row is taken as stored only when it is still a value the setting may have.
        const auto value = settingValue(row.name, row.value);
        if (!value)
            continue;
        if (row.name == kMinLevels)
            s.criteria.minLevels = value->toInt();
        else if (row.name == kPerDecade)
            s.criteria.levelsPerDecade = value->toInt();
        else if (row.name == kMinReplicates)
            s.criteria.minReplicates = value->toInt();
        else if (row.name == kCheckInterval)
            s.checkIntervalHours = *value == u"day" ? 0 : parseNumber(*value).value_or(0);
        else if (row.name == kTimeZone)
            s.timeZone = *value;
        else if (row.name == kIdleLock)
            s.idleLockMinutes = value->toInt();
    }
    return s;
}

} // namespace qvr::dose
