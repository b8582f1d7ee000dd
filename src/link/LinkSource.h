#pragma once
// The link source: the labels of the main window served on the bus at busPath(), interface
// busInterface().
//
//   property <label name>  s  read-only   the label's text, mapped by toLinkText()
//   property Simulated     b  read-only   true while the simulated card is in use
//   method   Request(s item) -> s         the item's text; unknown item: error kUnknownItemError
//   method   Items() -> as                every item name, in window order
//   signal   org.freedesktop.DBus.Properties.PropertiesChanged
//            at most one per return to the event loop, with the latest text of every item
//            written since the last one (a write of the same text counts)
//
// Get and GetAll of org.freedesktop.DBus.Properties work as usual; Set is refused with
// org.freedesktop.DBus.Error.PropertyReadOnly. Nothing a client sends changes the program.

#include "core/LabelModel.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>

namespace qvr {

inline constexpr const char* kUnknownItemError = "com.norvale.QVR100PCI.Error.UnknownItem";

class LinkSource : public QDBusVirtualObject {
    Q_OBJECT
public:
    LinkSource(LabelModel& labels, const QDBusConnection& bus, QObject* parent = nullptr);
    ~LinkSource() override;

    // Puts the object on the bus at busPath(); false when the path is taken or the bus is gone.
    bool publish();

    void setSimulated(bool simulated);
    bool simulated() const { return simulated_; }

    // Every item name (the labels), in window order.
    static QStringList items();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void noteWritten(LabelSet labels);
    void sendChanges();
    QDBusMessage answer(const QDBusMessage& call) const;
    QDBusMessage answerProperties(const QDBusMessage& call) const;
    QDBusMessage answerTopic(const QDBusMessage& call) const;
    QVariantMap allProperties() const;

    LabelModel& labels_;
    QDBusConnection bus_;
    bool published_ = false;
    bool simulated_ = false;
    LabelSet pending_ = 0;
    bool simulatedPending_ = false;
    bool sendQueued_ = false;
};

} // namespace qvr
