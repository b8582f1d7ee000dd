#include "PostgresBench.h"

#include "PgServer.h"

#include <QCoreApplication>
#include <memory>

namespace {

struct Lab {
    std::unique_ptr<qvr::test::PgServer> server;
    QString why;
    int databases = 0;
};

Lab& lab() {
    static Lab l;
    return l;
}

} // namespace

QString postgresBenchDatabase(QString& why) {
    Lab& l = lab();
    if (!l.server && l.why.isEmpty()) {
        l.why = qvr::test::PgServer::missing();
        if (l.why.isEmpty()) {
            l.server = std::make_unique<qvr::test::PgServer>();
            if (!l.server->start())
                l.why = l.server->error();
            // Stopped while the application still exists, not among the static destructors.
            qAddPostRoutine([] { lab().server.reset(); });
        }
    }
    if (!l.why.isEmpty()) {
        why = l.why;
        return {};
    }
    const QString name = QStringLiteral("bench%1").arg(++l.databases);
    if (!l.server->createDatabase(name)) {
        why = l.server->error();
        return {};
    }
    return l.server->url(name);
}
