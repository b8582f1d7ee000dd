#include "dose/core/OutputFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qvr::dose {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

Failure cannotWrite(const QString& path, const QString& why) {
    return Failure{QStringLiteral("cannot write %1: %2").arg(path, why)};
}

// Every byte of data to fd, through short writes and interruptions; errno on failure.
bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

Outcome<Done> writeDevice(const QString& path, const QByteArray& data) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return cannotWrite(path, systemError(errno));
    const bool written = writeAll(fd, data);
    const int error = errno;
    if (::close(fd) != 0 && written)
        return cannotWrite(path, systemError(errno));
    if (!written)
        return cannotWrite(path, systemError(error));
    return Done{};
}

// A temporary file in the target's folder, renamed over it once complete; mode: the old file's
// permissions, or -1 for a new file (the usual 0666 less the umask).
Outcome<Done> replaceFile(const QString& path, const QByteArray& data, int mode) {
    const QFileInfo target(path);
    QByteArray temp = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                        target.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return cannotWrite(path, systemError(errno));
    if (mode < 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok =
        ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.constData());
        return cannotWrite(path, systemError(error));
    }
    // The rename itself reaches the disk with its folder.
    const int dir = ::open(QFile::encodeName(target.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return Done{};
}

} // namespace

Outcome<Done> writeOutputFile(const QString& path, const QByteArray& data) {
    if (path.isEmpty())
        return Failure{QStringLiteral("no file name given")};
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT)
            return cannotWrite(path, systemError(errno));
        return replaceFile(path, data, -1);
    }
    if (S_ISLNK(st.st_mode)) {
        struct stat to {};
        if (::stat(name.constData(), &to) == 0 && (S_ISCHR(to.st_mode) || S_ISBLK(to.st_mode)))
            return writeDevice(path, data);
        return cannotWrite(path, QStringLiteral("it is a symbolic link; name the file itself"));
    }
    if (S_ISREG(st.st_mode))
        return replaceFile(path, data, static_cast<int>(st.st_mode & 07777));
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return writeDevice(path, data);
    if (S_ISDIR(st.st_mode))
        return cannotWrite(path, QStringLiteral("it is a folder"));
    if (S_ISFIFO(st.st_mode))
        return cannotWrite(path, QStringLiteral("it is a FIFO"));
    return cannotWrite(path, QStringLiteral("it is not a regular file or a device"));
}

} // namespace qvr::dose
