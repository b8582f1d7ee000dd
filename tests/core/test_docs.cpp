// The user guide and the man page against the program: the options and exit statuses --help
// lists, and every State the reader serves.

#include "core/FaultState.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace qvr;

namespace {

QString readSource(const QString& path) {
    QFile f(QStringLiteral(QVR100_SOURCE_DIR "/") + path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(f.fileName()));
    return QString::fromUtf8(f.readAll());
}

// The text from the line that starts with heading to the next line that starts with next.
QString section(const QString& text, const QString& heading, const QString& next) {
    const qsizetype from = text.indexOf(QLatin1Char('\n') + heading);
    if (from < 0)
        return {};
    const qsizetype to = text.indexOf(QLatin1Char('\n') + next, from + heading.size() + 1);
    return text.mid(from, to < 0 ? -1 : to - from);
}

QStringList matches(const QString& text, const QString& pattern) {
    QStringList found;
    auto it = QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured(1);
    found.removeDuplicates();
    found.sort();
    return found;
}

QString help() {
    QProcess p;
    p.start(QStringLiteral(QVR100_BIN_DIR "/qvr100pci"), {QStringLiteral("--help")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        qFatal("qvr100pci --help failed");
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestDocs : public QObject {
    Q_OBJECT
private slots:
    void optionsAndExitStatusesAgreeWithHelp() {
        const QString h = help();
        const QStringList options = matches(section(h, "Options:", "\n"), R"(^  .*?--([a-z]+))");
        const QStringList statuses = matches(section(h, "Exit status:", "\n"), R"(^  (\d+)  )");
        QCOMPARE(options, (QStringList{"headless", "help", "simulate", "version"}));
        QCOMPARE(statuses, (QStringList{"0", "1", "2", "3", "4"}));

        const QString man = readSource("docs/man/qvr100pci.1");
        QCOMPARE(matches(section(man, ".SH OPTIONS", ".SH"), R"(^\.B\S* .*?\\-\\-([a-z]+))"),
                 options);
        QCOMPARE(matches(section(man, ".SH EXIT STATUS", ".SH"), R"(^\.B (\d+)$)"), statuses);

        const QString guide = readSource("docs/user-guide.md");
        const QString starting = section(guide, "## Starting the program", "## ");
        QCOMPARE(matches(starting, R"(^\| `--([a-z]+)`)"), options);
        QCOMPARE(matches(starting, R"(^\| (\d+) \|)"), statuses);
    }

    void everyStateIsDocumented() {
        const QString man = section(readSource("docs/man/qvr100pci.1"), ".SH STATE", ".SH");
        const QString guide =
            section(readSource("docs/user-guide.md"), "## What the reader is doing", "## ");
        QStringList states{stateText(Phase::Starting, true)};
        for (Phase p :
             {Phase::Starting, Phase::Zeroing, Phase::Reading, Phase::Caution, Phase::FilterCheck})
            states << stateText(p, false);
        for (const QString& s : states) {
            QVERIFY2(man.contains(QStringLiteral(".B ") + s + QLatin1Char('\n')) ||
                         man.contains(QStringLiteral(".B \"%1\"\n").arg(s)),
                     qPrintable(s));
            QVERIFY2(guide.contains(QStringLiteral("| `%1` |").arg(s)), qPrintable(s));
        }
    }
};

QTEST_GUILESS_MAIN(TestDocs)
#include "test_docs.moc"
