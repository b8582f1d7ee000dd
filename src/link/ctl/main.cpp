// qvr100ctl: reads the items QVR100PCI serves on the session bus.

#include "link/ctl/Ctl.h"
#include "link/ctl/FdOutput.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    // A closed standard stream stays taken, by a descriptor that refuses writes: otherwise the
    // next file or socket opened (the bus) would get its number and the output with it.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDONLY) != fd)
            return 3;
    // A reader of the output that goes away shows as EPIPE on the next write, which ends the
    // command quietly (Ctl), instead of a signal that kills it mid-line.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    qvr::FdOutput out(STDOUT_FILENO), err(STDERR_FILENO);

    // An interrupted watch ends normally, with everything written so far on its way out.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char byte;
            [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
            QCoreApplication::exit(0);
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
    }

    qvr::Ctl ctl(QDBusConnection::sessionBus(), out, err);
    QObject::connect(&ctl, &qvr::Ctl::finished, &app, &QCoreApplication::exit);
    ctl.start(app.arguments().mid(1));
    return app.exec();
}
