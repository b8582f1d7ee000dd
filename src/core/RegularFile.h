#pragma once
// Reading a file a user names (a scenario, a calibration CSV): only a regular file of at most
// maxBytes, opened without waiting (a FIFO with no writer would block for good) and checked on
// the open file itself, so nothing can be swapped in between the check and the read. Header
// only: the dose workstation reads its files the same way without linking the reader's core.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace qvr {

// The file's bytes, or nothing with why ("not a regular file", "larger than N bytes", the
// system's error text).
inline std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes,
                                                 QString* why) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    struct stat st {};
    QByteArray data;
    why->clear();
    if (::fstat(fd, &st) != 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        *why = QStringLiteral("not a regular file");
    } else if (st.st_size > maxBytes) {
        *why = QStringLiteral("larger than %1 bytes").arg(maxBytes);
    } else {
        // The file may grow while it is read: never more than the limit.
        const qint64 cap = maxBytes + 1;
        data.resize(std::min<qint64>(st.st_size + 1, cap));
        qsizetype got = 0;
        ssize_t n = 1;
        while (n != 0 && got < cap) {
            if (got == data.size())
                data.resize(std::min<qint64>(2 * data.size(), cap));
            n = ::read(fd, data.data() + got, size_t(data.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
            got += n;
        }
        if (n < 0)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        else if (got > maxBytes)
            *why = QStringLiteral("larger than %1 bytes").arg(maxBytes);
        data.truncate(got);
    }
    ::close(fd);
    if (!why->isEmpty())
        return std::nullopt;
    return data;
}

} // namespace qvr
