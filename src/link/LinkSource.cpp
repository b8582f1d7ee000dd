#include "link/LinkSource.h"

#include "link/text/BusNames.h"
#include "link/text/LinkText.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QMetaObject>

namespace qvr {

namespace {

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kIntrospectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString kSimulated = QStringLiteral("Simulated");

QDBusMessage error(const QDBusMessage& call, const QString& name, const QString& text) {
    return call.createErrorReply(name, text);
}

QDBusMessage invalidArgs(const QDBusMessage& call, const QString& expected) {
    return error(
        call, QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
        QStringLiteral("%1 takes (%2), not (%3)").arg(call.member(), expected, call.signature()));
}

bool isProperty(const QString& name) {
    return name == kSimulated || LabelModel::find(name);
}

QString topicXml(bool withCommands) {
    QString xml = QStringLiteral("  <interface name=\"%1\">\n").arg(busInterface());
    for (const QString& item : LinkSource::items())
        xml += QStringLiteral("    <property name=\"%1\" type=\"s\" access=\"read\">\n"
                              "      <annotation "
                              "name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                              "value=\"true\"/>\n"
                              "    </property>\n")
                   .arg(item);
    xml += QStringLiteral("    <property name=\"Simulated\" type=\"b\" access=\"read\"/>\n"
                          "    <method name=\"Request\">\n"
                          "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"text\" type=\"s\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "    <method name=\"Items\">\n"
                          "      <arg name=\"items\" type=\"as\" direction=\"out\"/>\n"
                          "    </method>\n");
    if (withCommands)
        xml += QStringLiteral("    <method name=\"Zero\"/>\n"
                              "    <method name=\"SelectWavelength\">\n"
                              "      <arg name=\"which\" type=\"s\" direction=\"in\"/>\n"
                              "    </method>\n");
    xml += QStringLiteral("  </interface>\n");
    return xml;
}

QString standardXml() {
    return QStringLiteral("  <interface name=\"org.freedesktop.DBus.Properties\">\n"
                          "    <method name=\"Get\">\n"
                          "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"property_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"value\" type=\"v\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "    <method name=\"GetAll\">\n"
                          "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"values\" type=\"a{sv}\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "    <method name=\"Set\">\n"
                          "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"property_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"value\" type=\"v\" direction=\"in\"/>\n"
                          "    </method>\n"
                          "    <signal name=\"PropertiesChanged\">\n"
                          "      <arg name=\"interface_name\" type=\"s\"/>\n"
                          "      <arg name=\"changed_properties\" type=\"a{sv}\"/>\n"
                          "      <arg name=\"invalidated_properties\" type=\"as\"/>\n"
                          "    </signal>\n"
                          "  </interface>\n"
                          "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
                          "    <method name=\"Introspect\">\n"
                          "      <arg name=\"xml_data\" type=\"s\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "  </interface>\n"
                          "  <interface name=\"org.freedesktop.DBus.Peer\">\n"
                          "    <method name=\"Ping\"/>\n"
                          "    <method name=\"GetMachineId\">\n"
                          "      <arg name=\"machine_uuid\" type=\"s\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "  </interface>\n");
}

} // namespace

LinkSource::LinkSource(LabelModel& labels, const QDBusConnection& bus, QObject* parent)
    : QDBusVirtualObject(parent), labels_(labels), bus_(bus) {
    connect(&labels_, &LabelModel::changed, this, &LinkSource::noteWritten);
}

LinkSource::~LinkSource() {
    if (published_)
        bus_.unregisterObject(busPath());
}

bool LinkSource::publish() {
    if (!published_)
        published_ = bus_.registerVirtualObject(busPath(), this);
    return published_;
}

void LinkSource::setSimulated(bool simulated) {
    if (simulated == simulated_)
        return;
    simulated_ = simulated;
    if (!published_)
        return;
    simulatedPending_ = true;
    noteWritten(0);
}

QStringList LinkSource::items() {
    QStringList names;
    for (int i = 0; i < kLabelCount; ++i)
        names << LabelModel::name(static_cast<Label>(i));
    return names;
}

// The model may deliver more than once per return to the event loop (anyone may flush it), so
// the signal is gathered here once more: one PropertiesChanged per return, latest texts only.
void LinkSource::noteWritten(LabelSet labels) {
    pending_ |= labels;
    if (sendQueued_)
        return;
    sendQueued_ = true;
    QMetaObject::invokeMethod(this, &LinkSource::sendChanges, Qt::QueuedConnection);
}

void LinkSource::sendChanges() {
    sendQueued_ = false;
    const LabelSet written = pending_;
    pending_ = 0;
    QVariantMap changed;
    for (int i = 0; i < kLabelCount; ++i)
        if (written & bit(static_cast<Label>(i)))
            changed.insert(LabelModel::name(static_cast<Label>(i)),
                           toLinkText(labels_.text(static_cast<Label>(i))));
    if (simulatedPending_)
        changed.insert(kSimulated, simulated_);
    simulatedPending_ = false;
    if (changed.isEmpty() || !published_)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(busPath(), kPropertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal << busInterface() << changed << QStringList();
    bus_.send(signal);
}

QVariantMap LinkSource::allProperties() const {
    QVariantMap all;
    for (int i = 0; i < kLabelCount; ++i)
        all.insert(LabelModel::name(static_cast<Label>(i)),
                   toLinkText(labels_.text(static_cast<Label>(i))));
    all.insert(kSimulated, simulated_);
    return all;
}

QString LinkSource::introspect(const QString&) const {
    return topicXml(commands_ != nullptr);
}

bool LinkSource::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QDBusMessage reply = answer(message);
    if (message.isReplyRequired())
        connection.send(reply);
    return true;
}

QDBusMessage LinkSource::answer(const QDBusMessage& call) const {
    const QString iface = call.interface();
    if (iface == kPropertiesInterface)
        return answerProperties(call);
    if (iface == kIntrospectableInterface && call.member() == QLatin1String("Introspect")) {
        if (!call.signature().isEmpty())
            return invalidArgs(call, QString());
        return call.createReply(
            QStringLiteral("<!DOCTYPE node PUBLIC "
                           "\"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                           "\"http://www.freedesktop.org/standards/dbus/1.0/"
                           "introspect.dtd\">\n<node>\n") +
            topicXml(commands_ != nullptr) + standardXml() + QStringLiteral("</node>\n"));
    }
    // A call without an interface is looked up among the topic's methods, as D-Bus allows.
    if (iface.isEmpty() || iface == busInterface())
        return answerTopic(call);
    return error(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                 QStringLiteral("No interface %1 at %2").arg(iface, busPath()));
}

QDBusMessage LinkSource::answerTopic(const QDBusMessage& call) const {
    const QString member = call.member();
    if (member == QLatin1String("Items")) {
        if (!call.signature().isEmpty())
            return invalidArgs(call, QString());
        return call.createReply(items());
    }
    if (member == QLatin1String("Request")) {
        if (call.signature() != QLatin1String("s"))
            return invalidArgs(call, QStringLiteral("s"));
        const QString item = call.arguments().at(0).toString();
        const auto label = LabelModel::find(item);
        if (!label)
            return error(call, QString::fromLatin1(kUnknownItemError),
                         QStringLiteral("Unknown item: %1").arg(item));
        return call.createReply(toLinkText(labels_.text(*label)));
    }
    if (commands_ &&
        (member == QLatin1String("Zero") || member == QLatin1String("SelectWavelength")))
        return answerCommand(call);
    return error(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                 QStringLiteral("No method %1 in %2").arg(member, busInterface()));
}

QDBusMessage LinkSource::answerCommand(const QDBusMessage& call) const {
    CommandRefusal refusal = CommandRefusal::None;
    if (call.member() == QLatin1String("Zero")) {
        if (!call.signature().isEmpty())
            return invalidArgs(call, QString());
        refusal = commands_->zeroCommand();
    } else {
        if (call.signature() != QLatin1String("s"))
            return invalidArgs(call, QStringLiteral("s"));
        const QString which = call.arguments().at(0).toString();
        if (which != QLatin1String("primary") && which != QLatin1String("secondary"))
            return error(call, QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                         QStringLiteral("SelectWavelength takes \"primary\" or \"secondary\", "
                                        "not \"%1\"")
                             .arg(toLinkText(which)));
        refusal = commands_->wavelengthCommand(which == QLatin1String("secondary"));
    }
    switch (refusal) {
    case CommandRefusal::None:
        return call.createReply();
    case CommandRefusal::FilterCheck:
        return error(call, QString::fromLatin1(kFilterCheckError),
                     QStringLiteral("the filter check is open; finish it first"));
    case CommandRefusal::Fault:
        return error(call, QString::fromLatin1(kFaultError),
                     QStringLiteral("the reader has a fault: %1")
                         .arg(toLinkText(labels_.text(Label::Fault))));
    case CommandRefusal::Busy:
        return error(call, QString::fromLatin1(kBusyError),
                     QStringLiteral("a message of the reader waits for the user"));
    case CommandRefusal::ReadOnly:
        return error(call, QString::fromLatin1(kReadOnlyError),
                     QStringLiteral("commands from other programs are turned off "
                                    "(setting BusCommands)"));
    }
    return error(call, QString::fromLatin1(kFaultError), QStringLiteral("refused"));
}

QDBusMessage LinkSource::answerProperties(const QDBusMessage& call) const {
    const QString member = call.member();
    const QList<QVariant> args = call.arguments();
    const auto wrongInterface = [&](const QString& iface) {
        return !iface.isEmpty() && iface != busInterface();
    };
    const auto unknownInterface = [&](const QString& iface) {
        return error(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                     QStringLiteral("No interface %1 at %2").arg(iface, busPath()));
    };
    const auto unknownProperty = [&](const QString& name) {
        return error(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                     QStringLiteral("No property %1 in %2").arg(name, busInterface()));
    };

    if (member == QLatin1String("GetAll")) {
        if (call.signature() != QLatin1String("s"))
            return invalidArgs(call, QStringLiteral("s"));
        if (wrongInterface(args.at(0).toString()))
            return unknownInterface(args.at(0).toString());
        return call.createReply(allProperties());
    }
    if (member == QLatin1String("Get")) {
        if (call.signature() != QLatin1String("ss"))
            return invalidArgs(call, QStringLiteral("ss"));
        const QString iface = args.at(0).toString();
        const QString name = args.at(1).toString();
        if (wrongInterface(iface))
            return unknownInterface(iface);
        if (name == kSimulated)
            return call.createReply(QVariant::fromValue(QDBusVariant(simulated_)));
        const auto label = LabelModel::find(name);
        if (!label)
            return unknownProperty(name);
        return call.createReply(
            QVariant::fromValue(QDBusVariant(toLinkText(labels_.text(*label)))));
    }
    if (member == QLatin1String("Set")) {
        if (call.signature() != QLatin1String("ssv"))
            return invalidArgs(call, QStringLiteral("ssv"));
        const QString iface = args.at(0).toString();
        const QString name = args.at(1).toString();
        if (wrongInterface(iface))
            return unknownInterface(iface);
        if (!isProperty(name))
            return unknownProperty(name);
        return error(call, QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                     QStringLiteral("Property %1 is read-only").arg(name));
    }
    return error(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                 QStringLiteral("No method %1 in %2").arg(member, kPropertiesInterface));
}

} // namespace qvr
