#include "link/ctl/FdOutput.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qvr {

FdOutput::FdOutput(int fd, QObject* parent) : QIODevice(parent), fd_(fd) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

// All or nothing: a short count would let QIODevice report a partial line as written.
qint64 FdOutput::writeData(const char* data, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            setErrorString(QString::fromLocal8Bit(std::strerror(error_)));
            return -1;
        }
        done += n;
    }
    return done;
}

} // namespace qvr
