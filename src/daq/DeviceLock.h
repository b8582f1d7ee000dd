#pragma once
// Keeps other copies of this program off one card: an exclusive flock() on the card's own
// device node, held while the program drives that card. Unlike a lock file in a user's
// folder it holds across users, sessions and however the program was started.

#include <QString>

namespace qvr {

class DeviceLock {
public:
    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Takes the lock on the node at path, giving up the one held before. Empty when taken, or
    // when there is no node to take it on (no card: the driver's calls fail and say so);
    // otherwise why it cannot be had, in one line, and the earlier lock is kept.
    QString take(const QString& path);

private:
    int fd_ = -1;
    QString path_;
};

} // namespace qvr
