// Choosing the backend from the environment, and the call trace.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "daq/Backend.h"
#include "daq/TracingDriver.h"
#include "daq/comedi/ComediDriver.h"
#include "daq/sim/SimCard.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/stat.h>

namespace qvr::test {

namespace {

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

class TestBackend : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ManualClock clock_;
    QString error_;

    // A file of this test (and data row) alone.
    QString file(const char* name) const {
        return dir_.filePath(QString(QTest::currentTestFunction()) + QTest::currentDataTag() +
                             name);
    }
    std::optional<Backend> open(const QByteArray& daq, bool simulate = false) {
        if (!daq.isEmpty())
            qputenv("QVR100_DAQ", daq);
        return openBackend(clock_, &error_, simulate);
    }

private slots:
    void init() {
        qunsetenv("QVR100_DAQ");
        qunsetenv("QVR100_SIM_SCENARIO");
        qunsetenv("QVR100_SIM_TRACE");
    }
    void cleanup() { init(); }

    void simWithoutScenarioIsTheHealthyHead() {
        auto b = open("sim");
        QVERIFY2(b, qPrintable(error_));
        QVERIFY(b->simulated && !b->trace);
        QCOMPARE(static_cast<DaqDriver*>(b->sim), b->driver.get());
        QCOMPARE(b->sim->record(), sim::healthyRecord());
        QCOMPARE(b->sim->conditions().conversionUs, 25);
    }

    void simWithScenario() {
        writeFile(file("s.json"), R"({"lamp": 1.25, "events": [{"at": 1, "button": true}]})");
        qputenv("QVR100_SIM_SCENARIO", file("s.json").toLocal8Bit());
        auto b = open("sim");
        QVERIFY2(b, qPrintable(error_));
        QCOMPARE(b->sim->conditions().lamp, 1.25);
        clock_.advance(1000); // events run on the program's clock
        std::int16_t in = 0;
        b->driver->cbDIn(0, AUXPORT, in);
        QCOMPARE(in & 2, 2);
    }

    void choiceOfBackend_data() {
        QTest::addColumn<QByteArray>("daq");
        QTest::addColumn<bool>("simulate"); // the --simulate option
        QTest::addColumn<bool>("simulated");
        QTest::newRow("comedi") << QByteArray("comedi") << false << false;
        // A missing card must never turn into simulated readings.
        QTest::newRow("unset: the real card") << QByteArray() << false << false;
        QTest::newRow("unset, --simulate") << QByteArray() << true << true;
        QTest::newRow("sim, --simulate") << QByteArray("sim") << true << true;
    }
    void choiceOfBackend() {
        QFETCH(QByteArray, daq);
        QFETCH(bool, simulate);
        QFETCH(bool, simulated);
        auto b = open(daq, simulate);
        QVERIFY2(b, qPrintable(error_));
        QCOMPARE(b->simulated, simulated);
        QCOMPARE(b->sim != nullptr, simulated);
        QCOMPARE(b->name, QString(simulated ? "sim" : "comedi"));
    }

    void refused_data() {
        QTest::addColumn<QByteArray>("daq");
        QTest::addColumn<QByteArray>("scenario"); // file content; "-" for a missing file
        QTest::addColumn<QString>("message");
        QTest::newRow("comedi with --simulate")
            << QByteArray("comedi+") << QByteArray() << "--simulate and QVR100_DAQ=comedi";
        QTest::newRow("unknown backend") << QByteArray("simulator") << QByteArray()
                                         << "QVR100_DAQ must be \"sim\" or \"comedi\", not "
                                            "\"simulator\"";
        QTest::newRow("scenario missing")
            << QByteArray("sim") << QByteArray("-") << "QVR100_SIM_SCENARIO: cannot read";
        QTest::newRow("scenario refused")
            << QByteArray("sim") << QByteArray(R"({"gain": 11})") << "scenario key \"gain\"";
        // Anything but a plain file of sane size is refused before it is read: /dev/zero
        // would fill the memory, a FIFO with no writer would block the start for good.
        QTest::newRow("fifo") << QByteArray("sim") << QByteArray("fifo") << "not a regular file";
        QTest::newRow("too large")
            << QByteArray("sim") << QByteArray(1024 * 1024 + 1, ' ') << "larger than 1048576";
        QTest::newRow("trace cannot be opened")
            << QByteArray("sim") << QByteArray("trace") << "cannot open the trace file";
    }
    void refused() {
        QFETCH(QByteArray, daq);
        QFETCH(QByteArray, scenario);
        QFETCH(QString, message);
        if (scenario == "trace")
            qputenv("QVR100_SIM_TRACE", dir_.path().toLocal8Bit()); // a folder
        else if (scenario == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(file("s.json")).constData(), 0600), 0);
            qputenv("QVR100_SIM_SCENARIO", file("s.json").toLocal8Bit());
        } else if (!scenario.isEmpty()) {
            if (scenario != "-")
                writeFile(file("s.json"), scenario);
            qputenv("QVR100_SIM_SCENARIO", file("s.json").toLocal8Bit());
        }
        const bool simulate = daq.endsWith('+');
        QVERIFY(!open(simulate ? daq.chopped(1) : daq, simulate));
        QVERIFY2(error_.contains(message), qPrintable(error_));
    }

    void traceLines() {
        const QString path = file("trace.txt");
        writeFile(path, "earlier run\n");
        auto fake = std::make_unique<FakeDriver>();
        fake->count = 3604;
        fake->inputs = 5;
        fake->boards[0] = {41, "PCI-DAS08"};
        auto trace = TracingDriver::open(std::move(fake), path, &error_);
        QVERIFY2(trace, qPrintable(error_));
        std::int16_t v = 0;
        std::int32_t type = 0;
        char name[kBoardNameSize];
        trace->cbDOut(0, AUXPORT, 13);
        trace->cbDIn(0, AUXPORT, v);
        trace->cbAIn(0, 0, BIP5VOLTS, v);
        trace->cbGetConfig(BOARDINFO, 0, 0, BIBOARDTYPE, type);
        trace->cbGetConfig(BOARDINFO, 7, 0, BIBOARDTYPE, type = 0);
        trace->cbGetBoardName(0, name);
        std::memset(name, ' ', sizeof name);
        trace->cbGetBoardName(7, name);                        // fails, writes nothing
        QCOMPARE(readLines(path), QStringList{"earlier run"}); // still buffered
        QVERIFY(trace->flush());
        QCOMPARE(
            readLines(path),
            (QStringList{"earlier run", "cbDOut 0 1 13 0", "cbDIn 0 1 5 0", "cbAIn 0 0 0 3604 0",
                         "cbGetConfig 2 0 0 1 41 0", "cbGetConfig 2 7 0 1 0 1",
                         "cbGetBoardName 0 PCI-DAS08 0", "cbGetBoardName 7  1"}));
        trace->cbDOut(0, AUXPORT, 0);
        trace.reset(); // the last lines go out when the trace ends
        QCOMPARE(readLines(path).last(), QString("cbDOut 0 1 0 0"));
    }

    void traceThroughTheBackendKeepsTheSimulator() {
        qputenv("QVR100_SIM_TRACE", file("trace.txt").toLocal8Bit());
        auto b = open("sim");
        QVERIFY2(b && b->sim && b->trace, qPrintable(error_));
        b->driver->cbDOut(0, AUXPORT, 12);
        QVERIFY(b->sim->ledOn());
        b->flush();
        QCOMPARE(readLines(file("trace.txt")), QStringList{"cbDOut 0 1 12 0"});
    }

    void exitFlushesTheTrace() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QVR100_TEST_EXIT_TRACE", file("trace.txt"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(readLines(file("trace.txt")), QStringList{"cbDOut 0 1 8 0"});
    }

    // Far more lines than one buffer holds.
    void manyLinesAreWrittenInOrder() {
        auto trace = TracingDriver::open(std::make_unique<FakeDriver>(), file("t"), nullptr);
        for (int i = 0; i < 20000; ++i)
            trace->cbDOut(0, AUXPORT, static_cast<std::uint16_t>(i));
        trace->flush();
        const QStringList lines = readLines(file("t"));
        QCOMPARE(lines.size(), 20000);
        QCOMPARE(lines[12345], QString("cbDOut 0 1 12345 0"));
    }
};

} // namespace qvr::test

int main(int argc, char** argv) {
    // As a child of exitFlushesTheTrace(): trace one call and leave through exit().
    const QByteArray exitTrace = qgetenv("QVR100_TEST_EXIT_TRACE");
    if (!exitTrace.isEmpty()) {
        auto* trace = qvr::TracingDriver::open(std::make_unique<qvr::test::FakeDriver>(),
                                               QString::fromLocal8Bit(exitTrace), nullptr)
                          .release();
        trace->cbDOut(0, qvr::AUXPORT, 8);
        std::exit(0);
    }
    QCoreApplication app(argc, argv);
    qvr::test::TestBackend test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_backend.moc"
