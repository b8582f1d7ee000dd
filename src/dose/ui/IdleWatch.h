#pragma once
// Notices the person at the workstation: a key, a click, the wheel or the mouse moving on any of
// the program's windows counts as use, at the window's clock.

#include "dose/core/Clock.h"

#include <QObject>

namespace qvr::dose {

class IdleWatch : public QObject {
    Q_OBJECT
public:
    explicit IdleWatch(Now now, QObject* parent = nullptr); // watches the whole application
    void touch();
    // Whether nobody has used the program for minutes or more.
    bool idleFor(int minutes) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Now now_;
    QDateTime last_;
};

} // namespace qvr::dose
