#include "PgFaultProxy.h"

#include <QFile>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace qvr::test {

namespace {

// A simple-protocol query message holding COMMIT, as libpq sends it.
const QByteArray kCommit("Q\0\0\0\x0b"
                         "COMMIT\0",
                         12);

sockaddr_un socketAddress(const QString& dir) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/.s.PGSQL.5432"));
    std::strncpy(a.sun_path, path.constData(), sizeof a.sun_path - 1);
    return a;
}

bool sendAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

struct Link {
    int client = -1, server = -1;
    QByteArray seen;         // the client's last bytes, for a COMMIT split over two reads
    bool committing = false; // the COMMIT went on; its reply is to be lost
};

void closeLink(Link& l) {
    ::close(l.client);
    ::close(l.server);
    l.client = l.server = -1;
}

} // namespace

PgFaultProxy::PgFaultProxy(const QString& serverSocketDir) : server_(serverSocketDir) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un a = socketAddress(dir_.path());
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 16) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0)
        qFatal("the relay cannot listen in %s", qPrintable(dir_.path()));
    thread_ = std::thread([this] { serve(); });
}

PgFaultProxy::~PgFaultProxy() {
    ::write(wake_[1], "x", 1);
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void PgFaultProxy::arm(Fault fault, bool gone) {
    gone_ = gone;
    fault_ = fault;
}

QString PgFaultProxy::url(const QString& database) const {
    return QStringLiteral("postgresql://postgres@/%1?host=%2").arg(database, dir_.path());
}

void PgFaultProxy::serve() {
    std::vector<Link> links;
    char buffer[65536];
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Link& l : links)
            fds.insert(fds.end(), {{l.client, POLLIN, 0}, {l.server, POLLIN, 0}});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            break;
        const size_t polled = links.size(); // a link accepted now is polled from the next round
        if (listener_ >= 0 && fds[1].revents & POLLIN) {
            Link l;
            l.client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            l.server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_un a = socketAddress(server_);
            if (::connect(l.server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
                links.push_back(l);
            else
                closeLink(l);
        }
        for (size_t i = 0; i < polled; ++i) {
            Link& l = links[i];
            const pollfd& c = fds[2 + 2 * i];
            const pollfd& s = fds[3 + 2 * i];
            if (s.revents) {
                const ssize_t n = ::read(l.server, buffer, sizeof buffer);
                // The server answered the COMMIT: that answer never reaches the client.
                if (n <= 0 || l.committing || !sendAll(l.client, buffer, n)) {
                    if (l.committing)
                        faulted_ = true;
                    closeLink(l);
                    continue;
                }
            }
            if (c.revents) {
                const ssize_t n = ::read(l.client, buffer, sizeof buffer);
                if (n <= 0) {
                    closeLink(l);
                    continue;
                }
                const QByteArray window = l.seen + QByteArray(buffer, n);
                l.seen = window.right(kCommit.size() - 1);
                const Fault fault = fault_;
                if (fault != Fault::None && window.contains(kCommit)) {
                    fault_ = Fault::None;
                    if (fault == Fault::LoseCommit) {
                        faulted_ = true;
                        closeLink(l);
                        continue;
                    }
                    l.committing = true;
                }
                if (!sendAll(l.server, buffer, n))
                    closeLink(l);
            }
        }
        std::erase_if(links, [](const Link& l) { return l.client < 0; });
        if (faulted_ && gone_ && listener_ >= 0) {
            ::close(listener_);
            listener_ = -1;
            QFile::remove(dir_.path() + QStringLiteral("/.s.PGSQL.5432"));
        }
    }
    for (Link& l : links)
        closeLink(l);
    if (listener_ >= 0)
        ::close(listener_);
}

} // namespace qvr::test
