#include "daq/DeviceLock.h"

#include "core/Messages.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qvr {

DeviceLock::~DeviceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

QString DeviceLock::take(const QString& path) {
    if (fd_ >= 0 && path == path_)
        return {};
    // Read-only and without waiting: the lock needs no more, and opening a node must not
    // block the start.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENODEV || err == ENXIO || err == EACCES || err == EPERM)
            return {}; // no card to keep anyone off, or none this user may use
        return QStringLiteral("cannot lock %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(err)));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return text(1303).arg(path);
        return QStringLiteral("cannot lock %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(err)));
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    path_ = path;
    return {};
}

} // namespace qvr
