#include "dose/cli/TerminalPrompt.h"

#include "dose/core/Signature.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace qvr::dose {

namespace {

// A signal that ends the program while echo is off would leave the user's terminal silent:
// the prompt notes it, puts the terminal back, and only then lets the signal act.
volatile sig_atomic_t interruptedBy = 0;
void noteInterrupt(int signal) {
    interruptedBy = signal;
}

class InterruptsNoted {
public:
    InterruptsNoted() {
        interruptedBy = 0;
        struct sigaction note {};
        note.sa_handler = noteInterrupt;
        sigemptyset(&note.sa_mask);
        note.sa_flags = 0; // no SA_RESTART: the read returns at once
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &note, &saved_[i]);
    }
    ~InterruptsNoted() {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &saved_[i], nullptr);
    }
    InterruptsNoted(const InterruptsNoted&) = delete;
    InterruptsNoted& operator=(const InterruptsNoted&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP};
    struct sigaction saved_[std::size(kSignals)]{};
};

bool writeAll(int fd, const QByteArray& text) {
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n =
            ::write(fd, text.constData() + done, static_cast<size_t>(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// One line, the newline dropped; false at the end of input or on an error.
bool readLine(int fd, QByteArray& line) {
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR && !interruptedBy)
            continue;
        if (n <= 0)
            return false;
        if (c == '\n' || c == '\r')
            return true;
        line.append(c);
    }
}

} // namespace

Outcome<QByteArray> TerminalPrompt::password(const SigningRequest& request) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Failure{QStringLiteral("not signed: %1 needs a terminal to type %2's password on "
                                      "(it is never read from the command line, a pipe or the "
                                      "environment)")
                           .arg(request.act, request.account)};
    termios saved{};
    const bool terminal = tcgetattr(fd, &saved) == 0;
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    const QString who = signerText(request.name, request.account);
    const QByteArray ask = QStringLiteral("To %1, sign as %2; the signature means \"%3\".\n"
                                          "Password for %4: ")
                               .arg(request.act, who, request.meaning, request.account)
                               .toLocal8Bit();
    QByteArray line;
    line.reserve(256); // typed into one buffer, wiped by the caller
    bool read = false;
    int interrupt = 0;
    {
        const InterruptsNoted noted;
        if (terminal && tcsetattr(fd, TCSAFLUSH, &quiet) == 0) {
            read = writeAll(fd, ask) && readLine(fd, line);
            tcsetattr(fd, TCSAFLUSH, &saved);
            writeAll(fd, "\n");
        }
        interrupt = interruptedBy;
    }
    ::close(fd);
    if (interrupt) {
        read = false;
        raise(interrupt); // as the user meant it, now that the terminal echoes again
    }
    if (!read) {
        if (!line.isEmpty())
            explicit_bzero(line.data(), static_cast<size_t>(line.size()));
        return Failure{QStringLiteral("not signed: no password was typed for %1").arg(request.act)};
    }
    return line;
}

} // namespace qvr::dose
