#pragma once
// The link source: the labels of the main window served on the bus at busPath(), interface
// busInterface().
//
//   property <label name>  s  read-only   the label's text, mapped by toLinkText(); the
//                                         hidden labels State and Fault are the reader's
//                                         phase and its fault (core/FaultState)
//   property Simulated     b  read-only   true while the simulated card is in use
//   method   Request(s item) -> s         the item's text; unknown item: error kUnknownItemError
//   method   Items() -> as                every item name, in window order
//   method   Zero()                       the Zero command, started at once
//   method   SelectWavelength(s which)    the wavelength command, "primary" or "secondary"
//            each refused with kFilterCheckError, kFaultError, kBusyError or kReadOnlyError
//            and never kept for later; without commands (setCommands) they are unknown
//   signal   org.freedesktop.DBus.Properties.PropertiesChanged
//            at most one per return to the event loop, with the latest text of every item
//            written since the last one (a write of the same text counts)
//
// Get and GetAll of org.freedesktop.DBus.Properties work as usual; Set is refused with
// org.freedesktop.DBus.Error.PropertyReadOnly. Only the two commands change the program.

#include "core/LabelModel.h"
#include "core/ReaderCommands.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>

namespace qvr {

inline constexpr const char* kUnknownItemError = "com.norvale.QVR100PCI.Error.UnknownItem";
inline constexpr const char* kFilterCheckError = "com.norvale.QVR100PCI.Error.FilterCheck";
inline constexpr const char* kFaultError = "com.norvale.QVR100PCI.Error.Fault";
inline constexpr const char* kBusyError = "com.norvale.QVR100PCI.Error.Busy";
inline constexpr const char* kReadOnlyError = "com.norvale.QVR100PCI.Error.ReadOnly";

class LinkSource : public QDBusVirtualObject {
    Q_OBJECT
public:
    LinkSource(LabelModel& labels, const QDBusConnection& bus, QObject* parent = nullptr);
    ~LinkSource() override;

    // Puts the object on the bus at busPath(); false when the path is taken or the bus is gone.
    bool publish();

    void setSimulated(bool simulated);
    bool simulated() const { return simulated_; }
    // Who runs Zero and SelectWavelength; must outlive the source.
    void setCommands(ReaderCommands* commands) { commands_ = commands; }

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
    QDBusMessage answerCommand(const QDBusMessage& call) const;
    QVariantMap allProperties() const;

    LabelModel& labels_;
    ReaderCommands* commands_ = nullptr;
    QDBusConnection bus_;
    bool published_ = false;
    bool simulated_ = false;
    LabelSet pending_ = 0;
    bool simulatedPending_ = false;
    bool sendQueued_ = false;
};

} // namespace qvr
