#pragma once
// Runs a piece of a test as another local user. Root reads and writes files whatever their
// mode and owns every folder, so checks about another user's files need a process that is
// not root: a child that drops to "nobody" (65534) when the test runs as root, or the test
// itself otherwise.

#include <QByteArray>
#include <functional>
#include <grp.h>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

namespace qvr::test {

inline constexpr uid_t kNobody = 65534;

// fn's text, or nullopt when the child could not drop to nobody or did not finish.
inline std::optional<QByteArray> asOtherUser(const std::function<QByteArray()>& fn) {
    if (::geteuid() != 0)
        return fn();
    int fds[2];
    if (::pipe(fds) != 0)
        return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        const QByteArray out = fn();
        [[maybe_unused]] const auto n = ::write(fds[1], out.constData(), size_t(out.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray out;
    char buf[512];
    ssize_t n = 0;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return out;
}

} // namespace qvr::test
