#include "dose/core/FilterCheckWatch.h"

namespace qvr::dose {

namespace {

const char* const kItems[] = {"na", "nb", "nc"};

} // namespace

void FilterCheckWatch::reset() {
    active_ = false;
    atStart_.clear();
    measured_.clear();
}

bool FilterCheckWatch::observe(const ReaderItems& items) {
    const bool checking = items.value(QStringLiteral("State")).toString() == u"filter check";
    if (!checking) {
        active_ = false; // results taken stay until reset
        return false;
    }
    if (!active_) {
        active_ = true;
        atStart_.clear();
        measured_.clear();
        for (const char* name : kItems)
            atStart_.insert(QLatin1String(name), items.value(QLatin1String(name)).toString());
        return false;
    }
    bool taken = false;
    for (const char* name : kItems) {
        const QString key = QLatin1String(name);
        const QString text = items.value(key).toString();
        if (text == atStart_.value(key))
            continue;
        if (auto a = servedAbsorbance(text)) {
            if (!measured_.contains(key) || measured_.value(key) != *a)
                taken = true;
            measured_.insert(key, *a);
        }
    }
    return taken;
}

} // namespace qvr::dose
