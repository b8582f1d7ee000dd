// qvr100dose: with a command, the command line; without one, the window (to come).

#include "dose/cli/Cli.h"
#include "dose/core/Operator.h"
#include "dose/link/BusReader.h"
#include "dose/store/Store.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    QTextStream out(stdout), err(stderr);
    if (arguments.isEmpty()) {
        err << qvr::dose::programUsage();
        return 2;
    }
    qvr::dose::CliEnv env;
    env.out = &out;
    env.err = &err;
    env.operatorName = qvr::dose::loginName();
    const QString fromEnvironment = qEnvironmentVariable("QVR100_DOSE_DB");
    env.database =
        fromEnvironment.isEmpty() ? qvr::dose::Store::defaultLocation() : fromEnvironment;
    env.reader = [] {
        return std::make_unique<qvr::dose::BusReader>(QDBusConnection::sessionBus());
    };
    return qvr::dose::runCli(arguments, env);
}
