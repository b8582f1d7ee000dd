#pragma once
// An output stream on a file descriptor, written at once with write(2): nothing waits in a
// buffer, every failure shows on the write that met it, and a reader that went away
// (EPIPE, with SIGPIPE ignored) can be told apart from a failing disk.

#include <QIODevice>
#include <cerrno>

namespace qvr {

class FdOutput : public QIODevice {
    Q_OBJECT
public:
    explicit FdOutput(int fd, QObject* parent = nullptr);

    bool isSequential() const override { return true; }
    // The reader of a pipe or socket has gone.
    bool brokenPipe() const { return error_ == EPIPE; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    int fd_;
    int error_ = 0;
};

} // namespace qvr
