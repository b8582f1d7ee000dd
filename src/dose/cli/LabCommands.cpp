#include "dose/cli/CliCommand.h"

#include "dose/core/Canonical.h"
#include "dose/usecases/RoleGate.h"

namespace qvr::dose {

namespace {

// Option name -> setting name.
const std::pair<const char*, const char*> kOptions[] = {
    {"min-levels", "min_levels"},         {"levels-per-decade", "levels_per_decade"},
    {"min-replicates", "min_replicates"}, {"check-interval", "check_interval"},
    {"time-zone", "time_zone"},           {"idle-lock-minutes", "idle_lock_minutes"},
};

QString defaultText(const QString& name) {
    const LabSettings d = labSettings({});
    if (name == u"min_levels")
        return QString::number(d.criteria.minLevels);
    if (name == u"levels_per_decade")
        return QString::number(d.criteria.levelsPerDecade);
    if (name == u"min_replicates")
        return QString::number(d.criteria.minReplicates);
    if (name == u"check_interval")
        return QStringLiteral("day");
    if (name == u"idle_lock_minutes")
        return QString::number(d.idleLockMinutes);
    return QString(); // time_zone: this computer's
}

int set(Ctx& ctx) {
    std::vector<LabSetting> settings;
    for (const auto& [option, name] : kOptions) {
        if (!ctx.has(QLatin1String(option)))
            continue;
        LabSetting s;
        s.name = QLatin1String(name);
        s.value = ctx.value(QLatin1String(option)).trimmed();
        if (auto v = settingValue(s.name, s.value); !v)
            return ctx.usage(QStringLiteral("--%1: %2").arg(QLatin1String(option), v.error()));
        s.reason = ctx.value(QStringLiteral("reason")).trimmed();
        s.operatorName = ctx.env.operatorName;
        settings.push_back(s);
    }
    if (settings.empty())
        return ctx.usage(QStringLiteral("lab set needs a setting to change"));
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    if (ctx.has(QStringLiteral("idle-lock-minutes"))) {
        auto refusal =
            roleRefusal(*store, ctx.env.operatorName, QStringLiteral("lab set --idle-lock-minutes"));
        if (!refusal)
            return ctx.refuse(refusal.error());
        if (*refusal)
            return ctx.refuse(**refusal);
    }
    auto r = store->addLabSettings(settings);
    if (!r)
        return ctx.refuse(r.error());
    if (ctx.json)
        return ctx.printJson(QJsonObject{{"chain_head", r->hash}});
    for (const LabSetting& s : settings)
        ctx.print(QStringLiteral("%1 = %2").arg(s.name, s.value));
    return ctx.done(r->hash);
}

int show(Ctx& ctx) {
    Store* store = ctx.store();
    if (!store)
        return kRefused;
    auto rows = store->labSettingRows();
    if (!rows)
        return ctx.refuse(rows.error());
    QJsonArray a;
    for (const QString& name : settingNames()) {
        const LabSetting* last = nullptr;
        for (const LabSetting& s : *rows)
            if (s.name == name)
                last = &s;
        const QString value = last ? last->value : defaultText(name);
        if (ctx.json) {
            QJsonObject o{{"name", name}, {"value", value}, {"default", !last}};
            if (last)
                o.insert("set", QJsonObject{{"by", last->operatorName},
                                            {"at", timeText(last->createdAt)},
                                            {"reason", last->reason}});
            a.append(o);
            continue;
        }
        ctx.print(
            QStringLiteral("%1 = %2%3")
                .arg(name, value.isEmpty() ? QStringLiteral("(this computer's)") : value,
                     last ? QStringLiteral("  (set by %1 at %2%3)")
                                .arg(last->operatorName, timeText(last->createdAt),
                                     last->reason.isEmpty() ? QString()
                                                            : QStringLiteral(": ") + last->reason)
                          : QStringLiteral("  (default)")));
    }
    return ctx.json ? ctx.printJson(a) : kOk;
}

} // namespace

void addLabCommands(std::vector<Command>& c) {
    c.push_back(
        {QStringLiteral("lab set"),
         QStringLiteral("lab set [--min-levels N] [--levels-per-decade N] [--min-replicates N] "
                        "[--check-interval day|HOURS] [--time-zone ZONE] [--idle-lock-minutes N] "
                        "[--reason TEXT]"),
         QStringLiteral("Changes lab-wide settings, each a record of its own. A calibration "
                        "fit needs at least --min-levels dose levels (5 or more) and "
                        "--levels-per-decade per factor of ten of its range (5 or more), and "
                        "--min-replicates films at each level (3 or more): these may be raised, "
                        "never set below the least. A read for a job that is not training needs "
                        "a passing reader check within --check-interval: day (the default, the "
                        "same calendar day in the lab's --time-zone, an IANA name such as "
                        "Europe/Berlin; this computer's when not set) or a number of hours. The "
                        "window locks after --idle-lock-minutes without a key or mouse (15 by "
                        "default, 1 to 480) until the person logged in gives their password."),
         {QStringLiteral("min-levels"), QStringLiteral("levels-per-decade"),
          QStringLiteral("min-replicates"), QStringLiteral("check-interval"),
          QStringLiteral("time-zone"), QStringLiteral("idle-lock-minutes"),
          QStringLiteral("reason")},
         {},
         {},
         0,
         set});
    c.push_back({QStringLiteral("lab show"),
                 QStringLiteral("lab show"),
                 QStringLiteral("Shows the lab-wide settings in force, and who set each when."),
                 {},
                 {},
                 {},
                 0,
                 show});
}

} // namespace qvr::dose
