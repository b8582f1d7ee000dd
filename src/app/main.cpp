// qvr100pci: the reader program, windowed or as a service without a window.

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
#include <cstdio>

namespace {

// A line of our own on standard error, in the same form as the messages of a run without
// windows.
void say(const QString& line) {
    qvr::StderrMessageSink().showMessage(line);
}

int runHeadless(QCoreApplication& app) {
    qvr::QtClock clock;
    qvr::StderrMessageSink messages;
    qvr::IniSettings settings;
    QString error;
    std::optional<qvr::Backend> backend = qvr::openBackend(clock, &error);
    if (!backend) {
        say(error);
        return 1;
    }
    qvr::Reader reader(clock, *backend->driver, settings, messages);
    QString linkMessage;
    const std::unique_ptr<qvr::LinkService> link =
        qvr::startLink(reader.labels(), backend->simulated, &linkMessage);
    if (!link) {
        say(linkMessage);
        return 1;
    }
    if (!link->serving()) {
        // Serving readings is what the service is for; without a bus it has no purpose.
        say(linkMessage + QStringLiteral(" (--headless serves readings only on the session bus)"));
        return 1;
    }
    if (backend->simulated)
        say(QStringLiteral("running on the simulated reader head: readings are simulated"));

    qvr::ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &qvr::ShutdownSignals::received, &reader,
                     [&reader] { reader.Form_Unload(); });
    qvr::HeadlessHost host(reader, [] { QCoreApplication::exit(0); });
    if (!host.chooseBoard()) {
        say(host.error());
        backend->flush();
        return 1;
    }
    if (!host.error().isEmpty())
        say(host.error());
    reader.Form_Load(host);
    const int status = app.exec();
    backend->flush();
    return status;
}

int runWindowedProgram(int& argc, char** argv) {
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
        return 1;
    };
    QString error;
    std::optional<qvr::Backend> backend = qvr::openBackend(clock, &error);
    if (!backend)
        return refuse(error);
    qvr::Reader reader(clock, *backend->driver, settings, messages);
    QString linkMessage;
    const std::unique_ptr<qvr::LinkService> link =
        qvr::startLink(reader.labels(), backend->simulated, &linkMessage);
    if (!link)
        return refuse(linkMessage);
    if (!link->serving()) {
        // Readings are still shown; only other programs cannot have them. Said once.
        say(linkMessage);
        messages.showMessage(linkMessage);
    }
    std::unique_ptr<qvr::sim::SimControlWindow> simulator;
    if (backend->sim)
        simulator = std::make_unique<qvr::sim::SimControlWindow>(*backend->sim);
    const int status = qvr::runWindowed(app, reader, backend->simulated, simulator.get());
    backend->flush();
    return status;
}

} // namespace

int main(int argc, char** argv) {
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
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(headless);

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
        return 2;
    }
    if (parser.isSet(help)) {
        std::printf("Usage: qvr100pci [--headless]\n%s\n\n"
                    "Options:\n"
                    "  -h, --help     Show this help and exit.\n"
                    "  -v, --version  Show the version and exit.\n"
                    "  --headless     Run as a service without a window: read the head and\n"
                    "                 serve the readings on the session bus until SIGTERM,\n"
                    "                 SIGINT or SIGHUP.\n\n"
                    "Environment:\n"
                    "  QVR100_DAQ           sim or comedi (default: comedi when a comedi device\n"
                    "                       exists, else the simulated reader head)\n"
                    "  QVR100_SIM_SCENARIO  JSON scenario for the simulated head\n"
                    "  QVR100_SIM_TRACE     append one line per driver call to this file\n",
                    qPrintable(qvr::text(403)));
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("qvr100pci %s\n", QVR100_VERSION);
        return 0;
    }
    if (parser.isSet(headless)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("qvr100pci"));
        QCoreApplication::setApplicationVersion(QStringLiteral(QVR100_VERSION));
        return runHeadless(app);
    }
    return runWindowedProgram(argc, argv);
}
