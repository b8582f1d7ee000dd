#include "dose/cli/StandardStreams.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qvr::dose {

DescriptorDevice::DescriptorDevice(int fd) : fd_(fd) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 DescriptorDevice::writeData(const char* data, qint64 size) {
    qint64 left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            setErrorString(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
            return -1;
        }
        data += n;
        left -= n;
    }
    return size;
}

} // namespace qvr::dose
