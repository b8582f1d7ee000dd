#pragma once
// A client of the link source on a bus connection of its own, for tests and the benchmark.
// Calls go out asynchronously: the link source answers from the same thread's event loop.

#include "link/BusNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QList>
#include <QSignalSpy>
#include <QVariantMap>

namespace qvr::test {

class BusProbe : public QObject {
    Q_OBJECT
public:
    // connectionName must be unique in the process.
    explicit BusProbe(const QString& connectionName, const QString& address = QString())
        : name_(connectionName),
          bus_(address.isEmpty()
                   ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)
                   : QDBusConnection::connectToBus(address, connectionName)) {}
    ~BusProbe() override { QDBusConnection::disconnectFromBus(name_); }

    QDBusConnection& bus() { return bus_; }

    QDBusMessage call(const QString& interface, const QString& member,
                      const QVariantList& args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(busService(), busPath(), interface, member);
        m.setArguments(args);
        return send(m);
    }
    // Sends a call and waits for its answer (or the call's own time-out).
    QDBusMessage send(const QDBusMessage& m) {
        QDBusPendingCallWatcher watcher(bus_.asyncCall(m, 5000));
        QSignalSpy done(&watcher, &QDBusPendingCallWatcher::finished);
        if (!watcher.isFinished())
            done.wait(10000);
        return watcher.reply();
    }
    QDBusMessage topic(const QString& member, const QVariantList& args = {}) {
        return call(busInterface(), member, args);
    }
    QDBusMessage properties(const QString& member, const QVariantList& args) {
        return call(QStringLiteral("org.freedesktop.DBus.Properties"), member, args);
    }
    // The value of Get, unwrapped.
    QVariant get(const QString& property) {
        const QDBusMessage r = properties(QStringLiteral("Get"), {busInterface(), property});
        return r.arguments().value(0).value<QDBusVariant>().variant();
    }

    // Starts recording PropertiesChanged of the link source; once it returns, the bus routes
    // every later signal here.
    bool link() {
        const bool ok =
            bus_.connect(busService(), busPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                         QStringLiteral("PropertiesChanged"), this,
                         SLOT(onChanged(QString, QVariantMap, QStringList)));
        // The match rule went out before this call, and the bus answers in order.
        QDBusMessage ping = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
        return ok && send(ping).type() == QDBusMessage::ReplyMessage;
    }
    // Waits for the next recorded change; false after timeoutMs without one.
    bool waitForChange(int timeoutMs = 10000) {
        QSignalSpy spy(this, &BusProbe::changed);
        return spy.wait(timeoutMs);
    }
    QList<QVariantMap> changes;

signals:
    void changed();

private slots:
    void onChanged(const QString& interface, const QVariantMap& values, const QStringList&) {
        if (interface == busInterface()) {
            changes.append(values);
            emit changed();
        }
    }

private:
    QString name_;
    QDBusConnection bus_;
};

} // namespace qvr::test
