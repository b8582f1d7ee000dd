// qvr100pci: the reader program, windowed or as a service without a window.

#include "app/ExitStatus.h"
#include "core/Messages.h"
#include "core/QtClock.h"
#include "core/Settings.h"
#include "core/ShutdownSignals.h"
#include "core/StderrMessageSink.h"
#include "daq/Backend.h"
#include "link/LinkService.h"
#include "reader/HeadlessHost.h"
#include "reader/Reader.h"
#include "ui/QtMessageSink.h"
#include "ui/SimControlWindow.h"
#include "ui/WindowedRun.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

using qvr::kExitBusLost;
using qvr::kExitNothingToRead;
using qvr::kExitRefused;
using qvr::kExitUsage;

// Standard error may be a pipe nobody reads any more or closed altogether. Neither may end the
// program before its shut-down has put the head port to 0 and stored the gain: a write to a
// broken pipe then only fails, and a closed standard stream is reopened on /dev/null, so that
// no file opened later (the lock, the settings, the trace) takes its number and our lines.
void keepStandardStreamsHarmless() {
    std::signal(SIGPIPE, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
}

// Words of text on lines of at most 79 characters, each line but the first indented by indent.
QString wrapped(const QString& text, int indent) {
    QString out;
    int column = indent;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > indent && column + 1 + word.size() > 79) {
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
        } else if (column > indent) {
            out += QLatin1Char(' ');
            ++column;
        }
        out += word;
        column += static_cast<int>(word.size());
    }
    return out;
}

QString helpText() {
    QString help =
        QStringLiteral("Usage: qvr100pci [--headless] [--simulate]\n%1\n\n"
                       "Without a card the program runs in the fault state (State \"fault\", A\n"
                       "\"Error\"); it reads the simulated head only when asked (--simulate or\n"
                       "QVR100_DAQ=sim).\n\n"
                       "Options:\n"
                       "  -h, --help     Show this help and exit.\n"
                       "  -v, --version  Show the version and exit.\n"
                       "  --headless     Run as a service without a window: read the head and\n"
                       "                 serve the readings on the session bus until SIGTERM,\n"
                       "                 SIGINT or SIGHUP.\n"
                       "  --simulate     Read the simulated reader head instead of the card\n"
                       "                 (training); as QVR100_DAQ=sim.\n\n"
                       "Environment:\n"
                       "  QVR100_DAQ           sim or comedi (default: comedi, the real card; no\n"
                       "                       card is a fault, never simulated readings)\n"
                       "  QVR100_SIM_SCENARIO  JSON scenario for the simulated head\n"
                       "  QVR100_SIM_TRACE     append one line per driver call to this file\n\n"
                       "Exit status:\n")
            .arg(wrapped(qvr::text(403), 0));
    for (const qvr::ExitStatusText& s : qvr::kExitStatusTexts)
        help +=
            QStringLiteral("  %1  %2\n").arg(s.status).arg(wrapped(QLatin1String(s.meaning), 5));
    return help;
}

// A line of our own on standard error, in the same form as the messages of a run without
// windows.
void say(const QString& line) {
    qvr::StderrMessageSink().showMessage(line);
}

int runHeadless(QCoreApplication& app, bool simulate) {
    qvr::QtClock clock;
    qvr::StderrMessageSink messages;
    qvr::IniSettings settings;
    if (!settings.problem().isEmpty())
        say(settings.problem());
    QString error;
    std::optional<qvr::Backend> backend = qvr::openBackend(clock, &error, simulate);
    if (!backend) {
        say(error);
        return kExitNothingToRead;
    }
    qvr::Reader reader(clock, *backend->driver, settings, messages);
    QString linkMessage;
    const std::unique_ptr<qvr::LinkService> link =
        qvr::startLink(reader.labels(), backend->simulated, &linkMessage);
    if (!link) {
        say(linkMessage);
        return kExitRefused;
    }
    link->setCommands(&reader);
    if (!link->serving()) {
        // Serving readings is what the service is for; without a bus it has no purpose.
        say(linkMessage + QStringLiteral(" (--headless serves readings only on the session bus)"));
        return kExitRefused;
    }
    if (backend->simulated)
        say(QStringLiteral("running on the simulated reader head: readings are simulated"));

    qvr::ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &qvr::ShutdownSignals::received, &reader,
                     [&reader] { reader.Form_Unload(); });
    // QtDBus says nothing when the bus goes away: a service that keeps running then serves
    // nothing and holds the lock, so a restart is refused. Checked at the reading rate.
    int exitStatus = qvr::kExitNormal;
    const std::unique_ptr<qvr::Timer> busCheck = clock.createTimer();
    busCheck->setInterval(qvr::kReadMs);
    busCheck->onTick([&] {
        if (link->connected() || reader.hasEnded())
            return;
        busCheck->setEnabled(false);
        say(QStringLiteral("the session bus is gone: readings cannot be served; shutting down"));
        exitStatus = kExitBusLost;
        reader.Form_Unload();
    });
    busCheck->setEnabled(true);
    reader.setBoardClaim(backend->claimBoard);
    qvr::HeadlessHost host(reader, [&exitStatus, &reader] {
        QCoreApplication::exit(reader.boardRefused() ? kExitRefused : exitStatus);
    });
    if (!host.chooseBoard()) {
        say(host.error());
        backend->flush();
        return kExitNothingToRead;
    }
    if (!host.error().isEmpty())
        say(host.error());
    reader.Form_Load(host);
    // Ended already (the card is another instance's): the loop's exit came before the loop.
    const int status =
        reader.hasEnded() ? (reader.boardRefused() ? kExitRefused : exitStatus) : app.exec();
    backend->flush();
    return status;
}

int runWindowedProgram(int& argc, char** argv, bool simulate) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qvr100pci"));
    QApplication::setApplicationVersion(QStringLiteral(QVR100_VERSION));
    qvr::QtClock clock;
    qvr::QtMessageSink messages;
    qvr::IniSettings settings;
    // Each refusal goes to standard error as well, for a start from a terminal or a unit file.
    const auto refuse = [&messages](const QString& why) {
        say(why);
        messages.showMessage(why);
        return kExitRefused;
    };
    if (!settings.problem().isEmpty()) {
        say(settings.problem());
        messages.showMessage(settings.problem());
    }
    QString error;
    std::optional<qvr::Backend> backend = qvr::openBackend(clock, &error, simulate);
    if (!backend)
        return refuse(error);
    qvr::Reader reader(clock, *backend->driver, settings, messages);
    QString linkMessage;
    const std::unique_ptr<qvr::LinkService> link =
        qvr::startLink(reader.labels(), backend->simulated, &linkMessage);
    if (!link)
        return refuse(linkMessage);
    link->setCommands(&reader);
    if (!link->serving()) {
        // Readings are still shown; only other programs cannot have them. Said once.
        say(linkMessage);
        messages.showMessage(linkMessage);
    }
    std::unique_ptr<qvr::sim::SimControlWindow> simulator;
    if (backend->sim)
        simulator = std::make_unique<qvr::sim::SimControlWindow>(*backend->sim);
    reader.setBoardClaim(backend->claimBoard);
    const int status = qvr::runWindowed(app, reader, backend->simulated, simulator.get());
    backend->flush();
    return reader.boardRefused() ? kExitRefused : status;
}

} // namespace

int main(int argc, char** argv) {
    keepStandardStreamsHarmless();
    QCommandLineParser parser;
    parser.setApplicationDescription(qvr::text(403));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run as a service without a window: read the head and serve the "
                       "readings on the session bus until SIGTERM, SIGINT or SIGHUP."));
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Read the simulated reader head instead of the card (training)."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(headless);
    parser.addOption(simulate);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Parsed before any application object exists, so --help works without a display.
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        const QString why = parser.errorText().isEmpty()
                                ? QStringLiteral("unexpected argument '%1'")
                                      .arg(parser.positionalArguments().value(0))
                                : parser.errorText();
        std::fprintf(stderr, "qvr100pci: %s\nTry 'qvr100pci --help'.\n", qPrintable(why));
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        std::printf("%s", qPrintable(helpText()));
        return qvr::kExitNormal;
    }
    if (parser.isSet(version)) {
        std::printf("qvr100pci %s\n", QVR100_VERSION);
        return qvr::kExitNormal;
    }
    if (parser.isSet(headless)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("qvr100pci"));
        QCoreApplication::setApplicationVersion(QStringLiteral(QVR100_VERSION));
        return runHeadless(app, parser.isSet(simulate));
    }
    return runWindowedProgram(argc, argv, parser.isSet(simulate));
}
