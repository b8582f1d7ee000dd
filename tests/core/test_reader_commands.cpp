// Zero and the wavelength commands as another program gives them: run as the menu runs them,
// or refused with the reason, and nothing kept for later.

#include "SimReaderRig.h"

#include <QtTest>

using namespace qvr;
using namespace qvr::test;

Q_DECLARE_METATYPE(qvr::CommandRefusal)

namespace {

// Runs the command; "wavelength" asks for the secondary.
CommandRefusal give(Reader& reader, const QString& command) {
    return command == QLatin1String("zero") ? reader.zeroCommand() : reader.wavelengthCommand(true);
}

} // namespace

class TestReaderCommands : public QObject {
    Q_OBJECT
private slots:
    void runLikeTheMenu_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("zero") << QStringLiteral("zero");
        QTest::newRow("wavelength") << QStringLiteral("wavelength");
    }
    void runLikeTheMenu() {
        QFETCH(QString, command);
        SimReaderRig r("{}");
        r.clock.advance(1100);
        QCOMPARE(give(r.reader, command), CommandRefusal::None);
        QCOMPARE(r.label(Label::State), QStringLiteral("zeroing"));
        r.clock.advance(1600);
        QCOMPARE(r.label(Label::State), QStringLiteral("reading"));
        const bool zero = command == QLatin1String("zero");
        // Zero takes both wavelengths; a change of wavelength the new one only.
        QCOMPARE(r.label(Label::Zeros), zero ? QStringLiteral("4") : QStringLiteral("3"));
        QCOMPARE(r.label(Label::WL), zero ? QStringLiteral("510 nm") : QStringLiteral("600 nm"));
        QCOMPARE(r.settings.values_.value(QStringLiteral("Display")),
                 zero ? QStringLiteral("Primary") : QStringLiteral("Secondary"));
    }

    void refusals_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("when");
        QTest::addColumn<qvr::CommandRefusal>("refusal");
        for (const char* command : {"zero", "wavelength"}) {
            const auto row = [command](const char* name, const QByteArray& scenario,
                                       const char* when, CommandRefusal refusal) {
                QTest::addRow("%s, %s", command, name) << QString::fromLatin1(command) << scenario
                                                       << QString::fromLatin1(when) << refusal;
            };
            row("turned off", "{}", "turned off", CommandRefusal::ReadOnly);
            row("turned off, during the filter check", "{}", "filter check, turned off",
                CommandRefusal::ReadOnly);
            row("filter check", "{}", "filter check", CommandRefusal::FilterCheck);
            row("caution open", R"({"lamp": 0.3})", "message", CommandRefusal::Busy);
            row("card fault", R"({"faults": {"fail": {"cbAIn": 1}}})", "reading",
                CommandRefusal::Fault);
            row("head unread", R"({"faults": {"fail": {"cbDIn": 1}}})", "reading",
                CommandRefusal::Fault);
        }
    }
    void refusals() {
        QFETCH(QString, command);
        QFETCH(QByteArray, scenario);
        QFETCH(QString, when);
        QFETCH(qvr::CommandRefusal, refusal);
        const QHash<QString, QString> stored =
            when.contains(QLatin1String("turned off"))
                ? QHash<QString, QString>{{kBusCommandsKey, QStringLiteral("0")}}
                : QHash<QString, QString>{};
        std::optional<CommandRefusal> got;
        QString stateBefore, stateAfter, zerosBefore, wlBefore;
        const auto tryIt = [&](SimReaderRig& r) {
            stateBefore = r.label(Label::State);
            wlBefore = r.label(Label::WL);
            zerosBefore = r.label(Label::Zeros);
            got = give(r.reader, command);
            stateAfter = r.label(Label::State);
        };
        SimReaderRig r(scenario, QStringLiteral("0"), stored);
        if (when == QLatin1String("message"))
            r.messages.whileShown = [&](const QString&) {
                if (!got)
                    tryIt(r);
            };
        r.host.duringFilterCheck = [&] { tryIt(r); };
        r.clock.advance(1100);
        if (when.startsWith(QLatin1String("filter check")))
            r.reader.mnuNDF_Click();
        else if (when != QLatin1String("message"))
            tryIt(r);
        QVERIFY(got);
        QCOMPARE(*got, refusal);
        // Nothing ran, and nothing runs later.
        QCOMPARE(stateAfter, stateBefore);
        QCOMPARE(r.label(Label::WL), wlBefore);
        r.clock.advance(5000);
        if (when == QLatin1String("reading") || when == QLatin1String("turned off"))
            QCOMPARE(r.label(Label::Zeros), zerosBefore);
        QCOMPARE(r.label(Label::WL), wlBefore);
        QCOMPARE(r.settings.values_.value(QStringLiteral("Display"), QStringLiteral("Primary")),
                 QStringLiteral("Primary"));
    }
};

QTEST_GUILESS_MAIN(TestReaderCommands)
#include "test_reader_commands.moc"
