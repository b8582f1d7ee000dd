#include "dose/cli/QtWarnings.h"

#include <QMutex>

namespace qvr::dose {

namespace {

QMutex mutex;
QStringList collected;
QtMessageHandler previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        if (previous)
            previous(type, context, message);
        return;
    }
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    const QMutexLocker lock(&mutex);
    if (collected.size() < 8 && !collected.contains(message))
        collected << message;
}

} // namespace

void captureQtWarnings() {
    previous = qInstallMessageHandler(collect);
}

QStringList takeQtWarnings() {
    const QMutexLocker lock(&mutex);
    return std::exchange(collected, {});
}

} // namespace qvr::dose
