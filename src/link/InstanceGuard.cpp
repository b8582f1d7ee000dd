#include "link/InstanceGuard.h"

#include "core/Messages.h"
#include "link/text/BusNames.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qvr {

namespace {

// The lock lives only in a folder of this user's that nobody else may enter: anything another
// local user could plant (a file, a symlink, a folder of theirs) must not decide whether we run.
bool usableFolder(const QString& folder, QString* why) {
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0) {
        *why = QStringLiteral("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *why = QStringLiteral("%1 is not a folder").arg(folder);
        return false;
    }
    if (st.st_uid != ::getuid() || (st.st_mode & (S_IRWXG | S_IRWXO))) {
        *why = QStringLiteral("%1 is not a private folder of this user (owner %2, mode %3)")
                   .arg(folder)
                   .arg(st.st_uid)
                   .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
        return false;
    }
    return true;
}

} // namespace

InstanceGuard::InstanceGuard() = default;

InstanceGuard::~InstanceGuard() {
    release();
}

QString InstanceGuard::alreadyRunningText() {
    return text(1301);
}

QString InstanceGuard::defaultLockFolder() {
    // A shell without XDG_RUNTIME_DIR and a unit with it find the same folder: the one
    // systemd-logind makes for the user.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    return QStringLiteral("/run/user/%1").arg(::getuid());
}

InstanceGuard::Outcome InstanceGuard::acquire() {
    return acquire(defaultLockFolder(), QDBusConnection::sessionBus());
}

int InstanceGuard::takeLock(const QString& folder) {
    QString why;
    if (!usableFolder(folder, &why)) {
        message_ = text(1302).arg(why);
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
            message_ += QStringLiteral(" (XDG_RUNTIME_DIR is not set: set it to a folder of "
                                       "this user's with mode 0700)");
        return -1;
    }
    const QString file = folder + QStringLiteral("/qvr100pci.lock");
    const int fd = ::open(QFile::encodeName(file).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        message_ = text(1302).arg(QStringLiteral("cannot open %1: %2")
                                      .arg(file, QString::fromLocal8Bit(std::strerror(errno))));
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return 0;
        message_ = text(1302).arg(QStringLiteral("cannot lock %1: %2")
                                      .arg(file, QString::fromLocal8Bit(std::strerror(err))));
        return -1;
    }
    // The process id is only for people looking; the lock itself is what counts.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0 && ::write(fd, pid.constData(), size_t(pid.size())) < 0) {
        // Not being able to note the id changes nothing about the lock.
    }
    lockFd_ = fd;
    return 1;
}

InstanceGuard::Outcome InstanceGuard::acquire(const QString& lockFolder,
                                              const QDBusConnection& bus) {
    release();
    message_.clear();
    const int lock = takeLock(lockFolder);
    if (lock == 0) {
        message_ = alreadyRunningText();
        return outcome_ = Outcome::AlreadyRunning;
    }
    // Without the lock nothing keeps a second program off the head: refuse to run.
    if (lock < 0)
        return outcome_ = Outcome::NoLock;

    if (!bus.isConnected()) {
        message_ = text(1305);
        const QString detail = bus.lastError().message();
        if (!detail.isEmpty())
            message_ += QStringLiteral(" (%1)").arg(detail);
        return outcome_ = Outcome::NoBus;
    }
    QDBusConnectionInterface* daemon = bus.interface();
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        daemon ? daemon->registerService(busService(), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement)
               : QDBusReply<QDBusConnectionInterface::RegisterServiceReply>(
                     QDBusError(QDBusError::Disconnected, QStringLiteral("no bus daemon")));
    if (!reply.isValid()) {
        message_ = text(1306).arg(busService(), reply.error().message());
        return outcome_ = Outcome::NoBus;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        release();
        message_ = alreadyRunningText();
        return outcome_ = Outcome::AlreadyRunning;
    }
    ownsName_ = true;
    bus_ = bus;
    return outcome_ = Outcome::Serving;
}

void InstanceGuard::release() {
    if (ownsName_ && bus_.isConnected())
        bus_.interface()->unregisterService(busService());
    ownsName_ = false;
    bus_ = QDBusConnection(QString());
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

} // namespace qvr
