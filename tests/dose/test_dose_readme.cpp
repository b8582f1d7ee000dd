// The README's first session, run as written from an empty database on the simulated head: the
// command-line steps are taken from README.md itself, so the text and the program cannot drift.
// It runs in a scratch folder of its own (the session writes an export), on the private bus of
// dbus-run-session, with the build's programs as build/bin. Signing steps ask the password on
// the terminal, so the session runs on one of script(1)'s, and each prompt is answered once it
// shows (pam_wrapper puts the build's test service in place of the machine's).

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestDoseReadme : public QObject {
    Q_OBJECT

    // The test password file's entry for whoever runs the tests (tests/CMakeLists.txt).
    static constexpr const char* kPassword = "readme-secret";

    static QString firstSession() {
        QFile readme(QStringLiteral(QVR100_SOURCE_DIR "/README.md"));
        if (!readme.open(QIODevice::ReadOnly))
            return {};
        const QString text = QString::fromUtf8(readme.readAll());
        const qsizetype at = text.indexOf(QStringLiteral("A first session, on the simulated head"));
        if (at < 0)
            return {};
        const qsizetype begin = text.indexOf(QStringLiteral("```sh\n"), at);
        const qsizetype end = text.indexOf(QStringLiteral("\n```"), begin + 6);
        return begin < 0 || end < 0 ? QString() : text.mid(begin + 6, end - begin - 6);
    }

private slots:
    void firstSessionRunsAsWritten() {
        const QString steps = firstSession();
        QVERIFY2(steps.contains(QStringLiteral("calibration import")), qPrintable(steps));
        QTemporaryDir dir;
        QDir here(dir.path());
        QVERIFY(QFile::link(QStringLiteral(QVR100_BIN_DIR "/.."), here.filePath("build")));
        QVERIFY(
            QFile::link(QStringLiteral(QVR100_SOURCE_DIR "/examples"), here.filePath("examples")));
        for (const char* sub : {"data", "config", "runtime"})
            QVERIFY(here.mkpath(QLatin1String(sub)));
        QFile::setPermissions(here.filePath("runtime"), QFileDevice::ReadOwner |
                                                            QFileDevice::WriteOwner |
                                                            QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), here.filePath("data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), here.filePath("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), here.filePath("runtime"));
        env.remove(QStringLiteral("QVR100_DOSE_DB"));
        QProcess shell;
        shell.setProcessEnvironment(env);
        shell.setWorkingDirectory(dir.path());
        // Every step must succeed; the reader started in the background is stopped at the end
        // even when a step fails.
        QFile script(here.filePath("session.sh"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("set -e; trap 'kill %1 2>/dev/null || true' EXIT\n" + steps.toUtf8());
        script.close();
        shell.start(QStringLiteral("script"),
                    {QStringLiteral("-qefc"), QStringLiteral("bash session.sh"),
                     QStringLiteral("/dev/null")});
        QVERIFY(shell.waitForStarted());
        QByteArray seen;
        int answered = 0;
        QDeadlineTimer deadline(240000);
        while (shell.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            shell.waitForReadyRead(1000);
            seen += shell.readAllStandardOutput();
            if (seen.count("Password for ") > answered) {
                shell.write(QByteArray(kPassword) + '\n');
                ++answered;
            }
        }
        QVERIFY(shell.waitForFinished(1000) || shell.state() == QProcess::NotRunning);
        seen += shell.readAllStandardOutput();
        const QString out = QString::fromUtf8(seen);
        const QString err = QString::fromUtf8(shell.readAllStandardError());
        QVERIFY2(answered > 0, qPrintable(out)); // the session signs
        QVERIFY2(shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0,
                 qPrintable(out + err));
        // What the README promises along the way.
        const auto quickLook =
            QRegularExpression(QStringLiteral("# a quick look: (.+)$"),
                               QRegularExpression::MultilineOption)
                .match(steps);
        QVERIFY2(quickLook.hasMatch(), qPrintable(steps));
        QVERIFY2(out.contains(quickLook.captured(1).trimmed()), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("record 1 v2")), qPrintable(out));
        QVERIFY(QFile::exists(here.filePath("train-1.csv")));
    }
};

QTEST_GUILESS_MAIN(TestDoseReadme)
#include "test_dose_readme.moc"
