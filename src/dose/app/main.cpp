// qvr100dose: with a command, the command line; without one, the window.

#include "dose/auth/PamAuthenticator.h"
#include "dose/cli/Cli.h"
#include "dose/cli/QtWarnings.h"
#include "dose/cli/StandardStreams.h"
#include "dose/cli/TerminalPrompt.h"
#include "dose/core/Operator.h"
#include "dose/link/BusReader.h"
#include "dose/store/Store.h"
#include "dose/ui/DoseWindow.h"
#include "dose/ui/PdfReport.h"
#include "dose/ui/SigningDialog.h"
#include "dose/usecases/CaptureSession.h"

#include <QApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QMessageBox>
#include <csignal>
#include <unistd.h>

namespace {

QString databaseLocation() {
    const QString fromEnvironment = qEnvironmentVariable("QVR100_DOSE_DB");
    return fromEnvironment.isEmpty() ? qvr::dose::Store::defaultLocation() : fromEnvironment;
}

// Only the default location is created when missing; a location someone typed is not.
qvr::dose::IfMissing ifMissing() {
    return qEnvironmentVariableIsEmpty("QVR100_DOSE_DB") ? qvr::dose::IfMissing::Create
                                                         : qvr::dose::IfMissing::Refuse;
}

int runWindow(int argc, char** argv) {
    using namespace qvr::dose;
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("qvr100dose"));
    const QString location = databaseLocation();
    auto store = Store::open(location, systemNow(), ifMissing(), loginName());
    if (!store) {
        QMessageBox::critical(nullptr, QStringLiteral("qvr100dose"), store.error());
        return 1;
    }
    BusReader reader(QDBusConnection::sessionBus());
    CaptureSession session(**store, reader, systemNow(), loginName());
    QObject::connect(&reader, &BusReader::absorbanceWritten, &session,
                     [&session] { session.poll(true); });
    DialogPrompt dialog;
    PamAuthenticator pam;
    DoseWindow window(**store, session, {loginName(), systemNow(), settingsPath(), &dialog, &pam});
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return runWindow(argc, argv);
    // A report is laid out with fonts, which need a GUI application; no screen is needed.
    bool report = false;
    for (int i = 1; i < argc; ++i)
        report |= QByteArray(argv[i]) == "report";
    if (report)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app = report ? std::make_unique<QGuiApplication>(argc, argv)
                                                   : std::make_unique<QCoreApplication>(argc, argv);
    // A write past the file-size limit fails with EFBIG, reported, instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    qvr::dose::captureQtWarnings();
    QStringList arguments = QCoreApplication::arguments().mid(1);
    // Every failed write of standard output shows in the stream's status, with its reason.
    qvr::dose::DescriptorDevice standardOutput(STDOUT_FILENO), standardError(STDERR_FILENO);
    QTextStream out(&standardOutput), err(&standardError);
    qvr::dose::CliEnv env;
    env.out = &out;
    env.err = &err;
    env.operatorName = qvr::dose::loginName();
    env.database = databaseLocation();
    env.mayCreateDatabase = ifMissing() == qvr::dose::IfMissing::Create;
    env.reader = [] {
        return std::make_unique<qvr::dose::BusReader>(QDBusConnection::sessionBus());
    };
    env.writePdf = qvr::dose::writePdfReport;
    env.writeStudyPdf = qvr::dose::writePdfStudyReport;
    qvr::dose::TerminalPrompt terminal;
    qvr::dose::PamAuthenticator pam;
    env.passwords = &terminal;
    env.authenticator = &pam;
    return qvr::dose::runCli(arguments, env);
}
