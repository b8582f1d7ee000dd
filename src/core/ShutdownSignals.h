#pragma once
// SIGTERM, SIGINT and SIGHUP as a Qt signal on the event loop, so shut-down runs as an
// ordinary event and not inside a signal handler.

#include <QObject>

class QSocketNotifier;

namespace qvr {

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // Only one may exist at a time; it restores the previous handlers when destroyed.
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace qvr
