#pragma once
// Standard output and error as devices that write straight to their file descriptors and keep
// the system's reason when a write fails (a full disk, a file-size limit, a closed pipe), so
// that a command whose output was lost says so and why.

#include <QIODevice>

namespace qvr::dose {

class DescriptorDevice : public QIODevice {
public:
    explicit DescriptorDevice(int fd);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    int fd_;
};

} // namespace qvr::dose
