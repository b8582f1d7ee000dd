#include "core/ShutdownSignals.h"

#include <QSocketNotifier>
#include <array>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qvr {

namespace {
int pipeFds[2] = {-1, -1};
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[kSignals.size()];

void onSignal(int signo) {
    // Only async-signal-safe work here: one byte into the pipe.
    const auto byte = static_cast<unsigned char>(signo);
    const int saved = errno;
    [[maybe_unused]] const auto n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}
} // namespace

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        qFatal("QVR100PCI: cannot create the signal pipe");
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::drain);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &sa, &previous[i]);
    }
}

ShutdownSignals::~ShutdownSignals() {
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &previous[i], nullptr);
    delete notifier_;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void ShutdownSignals::drain() {
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        emit received(byte);
}

} // namespace qvr
