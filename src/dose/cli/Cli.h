#pragma once
// qvr100dose's command line. Run with the arguments after the program name; the result is the
// exit status: 0 success, 1 a refusal or failure (one line on the error stream saying why),
// 2 a usage error. Every command takes --json for scripts and --help.

#include "dose/auth/Authenticator.h"
#include "dose/auth/PasswordPrompt.h"
#include "dose/core/Clock.h"
#include "dose/link/ReaderSource.h"
#include "dose/usecases/JobReport.h"
#include "dose/usecases/StudyReport.h"

#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

namespace qvr::dose {

struct CliEnv {
    QTextStream* out = nullptr;
    QTextStream* err = nullptr;
    Now now = systemNow();
    QString operatorName;
    QString database; // --db or QVR100_DOSE_DB, else this default
    // Whether a command may create the database when there is none: only at the default
    // location, never at one a user typed (a typo would become a new, empty database).
    bool mayCreateDatabase = true;
    std::function<std::unique_ptr<ReaderSource>()> reader;
    int readingTimeoutMs = 10000; // for each awaited reading
    // Lays a report out as PDF into a file, giving its pages; the program's is the window's.
    std::function<Outcome<int>(const JobReport&, const QString&)> writePdf;
    std::function<Outcome<int>(const StudyReport&, const QString&)> writeStudyPdf;
    // How signers are asked for their password and how it is checked: the terminal and PAM in
    // the program. Without them nothing is signed.
    PasswordPrompt* passwords = nullptr;
    Authenticator* authenticator = nullptr;
};

int runCli(const QStringList& arguments, const CliEnv& env);

QString programUsage();

} // namespace qvr::dose
