#include "link/LinkService.h"

#include "core/Messages.h"
#include "link/LinkSource.h"
#include "link/text/BusNames.h"

namespace qvr {

LinkService::LinkService() = default;

// The object leaves the bus before the name and the lock are given up.
LinkService::~LinkService() {
    source_.reset();
}

InstanceGuard::Outcome LinkService::start(LabelModel& labels, bool simulated,
                                          const QString& lockFolder, const QDBusConnection& bus) {
    source_.reset();
    const InstanceGuard::Outcome outcome = guard_.acquire(lockFolder, bus);
    message_ = guard_.message();
    if (outcome != InstanceGuard::Outcome::Serving)
        return outcome;
    auto source = std::make_unique<LinkSource>(labels, guard_.bus());
    source->setSimulated(simulated);
    if (source->publish())
        source_ = std::move(source);
    else
        message_ = text(1307).arg(busPath());
    return outcome;
}

void LinkService::setSimulated(bool simulated) {
    if (source_)
        source_->setSimulated(simulated);
}

void LinkService::setCommands(ReaderCommands* commands) {
    if (source_)
        source_->setCommands(commands);
}

std::unique_ptr<LinkService> startLink(LabelModel& labels, bool simulated, QString* message) {
    auto service = std::make_unique<LinkService>();
    service->start(labels, simulated, InstanceGuard::defaultLockFolder(),
                   QDBusConnection::sessionBus());
    if (message)
        *message = service->message();
    if (service->outcome() == InstanceGuard::Outcome::AlreadyRunning ||
        service->outcome() == InstanceGuard::Outcome::NoLock)
        return nullptr;
    return service;
}

} // namespace qvr
