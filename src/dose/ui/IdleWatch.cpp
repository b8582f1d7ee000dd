#include "dose/ui/IdleWatch.h"

#include <QCoreApplication>
#include <QEvent>

namespace qvr::dose {

IdleWatch::IdleWatch(Now now, QObject* parent) : QObject(parent), now_(std::move(now)) {
    touch();
    QCoreApplication::instance()->installEventFilter(this);
}

void IdleWatch::touch() {
    last_ = now_();
}

bool IdleWatch::idleFor(int minutes) const {
    return last_.secsTo(now_()) >= qint64(minutes) * 60;
}

bool IdleWatch::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        touch();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace qvr::dose
