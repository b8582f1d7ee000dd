#include "dose/link/BusReader.h"

#include "link/text/BusNames.h"
#include "link/text/LinkText.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

namespace qvr::dose {

namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QString notRunning(const QString& why) {
    return QStringLiteral("QVR100PCI is not running or not reachable on the session bus (%1)")
        .arg(why);
}

} // namespace

BusReader::BusReader(const QDBusConnection& bus) : bus_(bus) {
    // Subscribed before the first GetAll, so no write between the two is missed.
    subscribed_ =
        bus_.isConnected() &&
        bus_.connect(busService(), busPath(), kProperties, QStringLiteral("PropertiesChanged"),
                     this, SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
}

BusReader::~BusReader() {
    if (subscribed_)
        bus_.disconnect(busService(), busPath(), kProperties, QStringLiteral("PropertiesChanged"),
                        this, SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
}

void BusReader::merge(const QVariantMap& served) {
    for (auto it = served.begin(); it != served.end(); ++it) {
        const QVariant v = it.value();
        items_.insert(it.key(),
                      v.typeId() == QMetaType::QString ? QVariant(fromLinkText(v.toString())) : v);
    }
}

Outcome<ReaderItems> BusReader::items() {
    if (!bus_.isConnected())
        return Failure{notRunning(QStringLiteral("no session bus"))};
    QDBusMessage call = QDBusMessage::createMethodCall(busService(), busPath(), kProperties,
                                                       QStringLiteral("GetAll"));
    call << busInterface();
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return Failure{notRunning(reply.errorMessage())};
    merge(qdbus_cast<QVariantMap>(reply.arguments().constFirst()));
    loaded_ = true;
    return items_;
}

Outcome<ReaderItems> BusReader::nextReading(int timeoutMs) {
    if (!loaded_)
        if (auto all = items(); !all)
            return all;
    if (!subscribed_)
        return Failure{notRunning(QStringLiteral("cannot follow its changes"))};
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool written = false;
    connect(this, &BusReader::absorbanceWritten, &loop, [&] {
        written = true;
        loop.quit();
    });
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
    if (!written)
        return Failure{
            QStringLiteral("the reader wrote no absorbance within %1 s").arg(timeoutMs / 1000.0)};
    return items_;
}

void BusReader::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList&) {
    if (interface != busInterface())
        return;
    merge(changed);
    if (changed.contains(QStringLiteral("A")))
        emit absorbanceWritten();
}

} // namespace qvr::dose
