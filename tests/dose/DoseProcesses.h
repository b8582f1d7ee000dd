#pragma once
// qvr100dose as child processes, the way a desk's scripts run it. Real time: every wait is for
// a process event, with a generous limit.

#include <QProcess>
#include <QRegularExpression>

#include <memory>
#include <unistd.h>

namespace qvr::dose::test {

inline constexpr int kProcessMs = 120'000;

inline QString doseProgram() {
    return QStringLiteral(QVR100_BIN_DIR "/qvr100dose");
}

struct Run {
    int status = -1; // -1: crashed or did not finish
    QString out, err;
};

inline Run runDose(const QStringList& args) {
    QProcess p;
    p.start(doseProgram(), args);
    Run r;
    if (!p.waitForFinished(kProcessMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("qvr100dose did not finish");
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A shell creating the database when it is new, then adding jobs PREFIX1, PREFIX2, ...
// (count < 0: until a command fails or the shell is killed) and ending with the status of a
// command that failed. The database is named by QVR100_DOSE_DB, or by --db when viaOption.
// The shell has its own process group, so that a kill of the group reaches the qvr100dose it
// is running.
inline std::unique_ptr<QProcess> startJobWriter(const QString& db, const QString& prefix, int count,
                                                bool viaOption = false) {
    auto p = std::make_unique<QProcess>();
    QStringList args{
        QStringLiteral("-c"),
        QStringLiteral("dose=$0 prefix=$1 n=$2; shift 2; i=0; "
                       "\"$dose\" \"$@\" db init >/dev/null || exit $?; "
                       "while [ \"$n\" -lt 0 ] || [ \"$i\" -lt \"$n\" ]; do "
                       "i=$((i+1)); \"$dose\" \"$@\" job add \"$prefix$i\" || exit $?; "
                       "done"),
        doseProgram(), prefix, QString::number(count)};
    if (viaOption) {
        args << QStringLiteral("--db") << db;
    } else {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QVR100_DOSE_DB"), db);
        p->setProcessEnvironment(env);
    }
    p->setChildProcessModifier([] { ::setpgid(0, 0); });
    p->start(QStringLiteral("/bin/sh"), args);
    return p;
}

// The ids of the "job ID added" lines.
inline QStringList addedJobs(const QString& out) {
    static const QRegularExpression line(QStringLiteral("^job (\\S+) added$"),
                                         QRegularExpression::MultilineOption);
    QStringList ids;
    for (auto it = line.globalMatch(out); it.hasNext();)
        ids << it.next().captured(1);
    return ids;
}

// The last chain head printed.
inline QString lastChainHead(const QString& out) {
    static const QRegularExpression head(QStringLiteral("chain head ([0-9a-f]{64})"));
    QString last;
    for (auto it = head.globalMatch(out); it.hasNext();)
        last = it.next().captured(1);
    return last;
}

} // namespace qvr::dose::test
