#pragma once
// A link-source client on its own connection, calling asynchronously: the source shares its thread.

#include "link/text/BusNames.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QSignalSpy>

namespace qvr::test {

class BusProbe : public QObject {
    Q_OBJECT
public:
    explicit BusProbe(const QString& uniqueName)
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, uniqueName)) {}
    ~BusProbe() override { QDBusConnection::disconnectFromBus(bus.name()); }

    QDBusMessage call(const QString& interface, const QString& member,
                      const QVariantList& args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(busService(), busPath(), interface, member);
        m.setArguments(args);
        QDBusPendingCallWatcher watcher(bus.asyncCall(m, 5000));
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
    QVariant get(const QString& property) {
        const auto r = properties(QStringLiteral("Get"), {busInterface(), property});
        return r.arguments().value(0).value<QDBusVariant>().variant();
    }

    // Records the source's PropertiesChanged from its return on (the bus keeps rule and call in
    // order).
    bool link() {
        return bus.connect(busService(), busPath(),
                           QStringLiteral("org.freedesktop.DBus.Properties"),
                           QStringLiteral("PropertiesChanged"), this,
                           SLOT(onChanged(QString, QVariantMap, QStringList))) &&
               topic(QStringLiteral("Items")).type() == QDBusMessage::ReplyMessage;
    }
    bool waitForChange(int timeoutMs = 10000) {
        QSignalSpy spy(this, &BusProbe::changed);
        return spy.wait(timeoutMs);
    }
    QList<QVariantMap> changes;
    QDBusConnection bus;

signals:
    void changed();

private slots:
    void onChanged(const QString& interface, const QVariantMap& values, const QStringList&) {
        if (interface == busInterface()) {
            changes.append(values);
            emit changed();
        }
    }
};

} // namespace qvr::test
