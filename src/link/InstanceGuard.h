#pragma once
// One program per head. The guard is taken at start-up, before the card is touched:
//
//   1. the lock file "qvr100pci.lock" in the user's private runtime folder ($XDG_RUNTIME_DIR,
//      or /run/user/<uid> when that is unset), held with flock() for the life of the guard, so
//      even without D-Bus a second instance stays off the card; the kernel drops the lock when
//      the process ends in any way. The folder must be this user's and closed to everyone
//      else; there is no fallback into a shared folder such as /tmp;
//   2. the bus name busService() on the session bus, without queueing.
//
// Outcomes:
//   Serving         both taken: the link source may be published.
//   AlreadyRunning  the lock or the name is held by another instance: say message() (which is
//                   "QVR100PCI is already running") and exit with status 1 without touching the
//                   card.
//   NoLock          no lock can be had (no private runtime folder, or the lock file cannot be
//                   opened): message() says why; exit with status 1 without touching the card.
//   NoBus           the lock is held but there is no session bus (or it refused the name):
//                   readings cannot be served. message() says why in one line.

#include <QDBusConnection>
#include <QString>

namespace qvr {

class InstanceGuard {
public:
    enum class Outcome { Serving, AlreadyRunning, NoLock, NoBus };

    InstanceGuard();
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // With the default lock folder and the session bus.
    Outcome acquire();
    Outcome acquire(const QString& lockFolder, const QDBusConnection& bus);

    Outcome outcome() const { return outcome_; }
    // One line for standard error or a message box; empty when all went well.
    QString message() const { return message_; }
    // The connection that owns the name (meaningful when Serving).
    QDBusConnection bus() const { return bus_; }

    // $XDG_RUNTIME_DIR, or /run/user/<uid> when it is unset; acquire() checks the folder.
    static QString defaultLockFolder();
    static QString alreadyRunningText();

private:
    void release();
    // 1 taken, 0 held by another process, -1 no lock possible (reason in message_).
    int takeLock(const QString& folder);

    Outcome outcome_ = Outcome::NoBus;
    QString message_;
    QDBusConnection bus_{QString()};
    int lockFd_ = -1;
    bool ownsName_ = false;
};

} // namespace qvr
