#pragma once
// The program's entry to the link: one call at start-up, before the card is touched.
//
//   QString message;
//   auto link = qvr::startLink(labels, simulated, &message);
//   if (!link) {                       // another instance holds the head, or no lock
//       // say message ("QVR100PCI is already running") on standard error, and in a message
//       // box when windowed; exit with status 1 without touching the card
//   } else if (!link->serving()) {     // no session bus: the lock file is held all the same
//       // windowed: warn once with message and go on; --headless: say message, exit 1
//   }
//   // keep `link` alive as long as the program runs; destroying it gives up name and lock
//
// When serving, every label of `labels` is an item of the link source (see LinkSource.h) from
// the moment startLink() returns; `labels` must outlive the service.

#include "core/LabelModel.h"
#include "core/ReaderCommands.h"
#include "link/InstanceGuard.h"

#include <QString>
#include <memory>

namespace qvr {

class LinkSource;

class LinkService {
public:
    LinkService();
    ~LinkService();

    // Takes the guard and, when it allows, publishes the labels. Used by startLink(); tests pass
    // their own lock folder and connection.
    InstanceGuard::Outcome start(LabelModel& labels, bool simulated, const QString& lockFolder,
                                 const QDBusConnection& bus);

    InstanceGuard::Outcome outcome() const { return guard_.outcome(); }
    bool serving() const { return source_ != nullptr; }
    // False once the bus of a serving link has gone away (QtDBus gives no signal for that).
    bool connected() const { return serving() && guard_.bus().isConnected(); }
    QString message() const { return message_; }

    // The value of the Simulated property (a change is announced like a label change).
    void setSimulated(bool simulated);
    // Who runs the Zero and SelectWavelength methods; must outlive the service.
    void setCommands(ReaderCommands* commands);

private:
    InstanceGuard guard_;
    std::unique_ptr<LinkSource> source_;
    QString message_;
};

// Returns null when another instance is running or the lock cannot be had; otherwise the service,
// serving or not (see above). *message (when given) receives the one-line message, empty when
// serving without trouble.
std::unique_ptr<LinkService> startLink(LabelModel& labels, bool simulated, QString* message);

} // namespace qvr
