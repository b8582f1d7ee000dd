#include "dose/link/BusReader.h"

#include "link/text/BusNames.h"
#include "link/text/LinkText.h"

#include <QDBusArgument>
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
                     this,
                     SLOT(onPropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
}

BusReader::~BusReader() {
    if (subscribed_)
        bus_.disconnect(busService(), busPath(), kProperties, QStringLiteral("PropertiesChanged"),
                        this,
                        SLOT(onPropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
}

void BusReader::merge(const QVariantMap& served) {
    for (auto it = served.begin(); it != served.end(); ++it) {
        const QVariant v = it.value();
        items_.insert(it.key(),
                      v.typeId() == QMetaType::QString ? QVariant(fromLinkText(v.toString())) : v);
    }
}

Outcome<ReaderItems> BusReader::load() {
    if (!bus_.isConnected())
        return Failure{notRunning(QStringLiteral("no session bus"))};
    QDBusMessage call = QDBusMessage::createMethodCall(busService(), busPath(), kProperties,
                                                       QStringLiteral("GetAll"));
    call << busInterface();
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return Failure{notRunning(reply.errorMessage())};
    // Whole: nothing served by an earlier process stays.
    items_.clear();
    merge(qdbus_cast<QVariantMap>(reply.arguments().constFirst()));
    items_.insert(QLatin1String(kOwnerItem), reply.service());
    loaded_ = true;
    return items_;
}

Outcome<ReaderItems> BusReader::items() {
    following_ = false;
    written_.clear();
    return load();
}

Outcome<ReaderItems> BusReader::nextReading(int timeoutMs) {
    if (!loaded_)
        if (auto all = load(); !all)
            return all;
    if (!subscribed_)
        return Failure{notRunning(QStringLiteral("cannot follow its changes"))};
    following_ = true;
    if (written_.empty()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(this, &BusReader::absorbanceWritten, &loop, &QEventLoop::quit);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        loop.exec();
    }
    if (written_.empty())
        return Failure{
            QStringLiteral("the reader wrote no absorbance within %1 s").arg(timeoutMs / 1000.0)};
    ReaderItems next = std::move(written_.front());
    written_.pop_front();
    return next;
}

Outcome<Done> BusReader::selectWavelength(bool secondary) {
    if (!bus_.isConnected())
        return Failure{notRunning(QStringLiteral("no session bus"))};
    const QString which = secondary ? QStringLiteral("secondary") : QStringLiteral("primary");
    QDBusMessage call = QDBusMessage::createMethodCall(busService(), busPath(), busInterface(),
                                                       QStringLiteral("SelectWavelength"));
    call << which;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return Done{};
    // The reader's own refusals name their cause (FilterCheck, Fault, Busy, ReadOnly).
    const QString prefix = busService() + QStringLiteral(".Error.");
    if (reply.errorName().startsWith(prefix))
        return Failure{QStringLiteral("the reader refused to change to its %1 wavelength (%2): %3")
                           .arg(which, reply.errorName().mid(prefix.size()),
                                fromLinkText(reply.errorMessage()))};
    return Failure{notRunning(reply.errorMessage())};
}

void BusReader::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList&, const QDBusMessage& message) {
    if (interface != busInterface())
        return;
    if (loaded_ && message.service() != items_.value(QLatin1String(kOwnerItem)).toString()) {
        // Another reader process serves now: its own items whole, Simulated, State and Zeros
        // above all. Gone again already, it is known only by its name.
        if (!load()) {
            items_.clear();
            items_.insert(QLatin1String(kOwnerItem), message.service());
        }
    }
    merge(changed);
    if (changed.contains(QStringLiteral("A"))) {
        if (following_)
            written_.push_back(items_);
        emit absorbanceWritten();
    }
}

} // namespace qvr::dose
