#pragma once
// Follows the reader's own filter check: once State is "filter check", a result served as na,
// nb or nc counts only when it differs from what was served when the check began, so values
// left over from an earlier check are never taken for new ones.

#include "dose/core/ReadingRules.h"

namespace qvr::dose {

class FilterCheckWatch {
public:
    // Every item update; returns true when a new result was taken.
    bool observe(const ReaderItems& items);

    bool active() const { return active_; }
    const QMap<QString, double>& measured() const { return measured_; }
    void reset();

private:
    bool active_ = false;
    QMap<QString, QString> atStart_;
    QMap<QString, double> measured_;
};

} // namespace qvr::dose
