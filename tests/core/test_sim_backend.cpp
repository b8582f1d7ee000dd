// Choosing the backend from the environment, and the call trace.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "daq/Backend.h"
#include "daq/ComediDriver.h"
#include "daq/TracingDriver.h"
#include "sim/SimCard.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

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

class TestSimBackend : public QObject {
    Q_OBJECT
private slots:
    void init() {
        qunsetenv("QVR100_DAQ");
        qunsetenv("QVR100_SIM_SCENARIO");
        qunsetenv("QVR100_SIM_TRACE");
    }
    void cleanup() { init(); }

    void simWithoutScenarioIsTheHealthyHead() {
        qputenv("QVR100_DAQ", "sim");
        ManualClock clock;
        QString error;
        auto b = openBackend(clock, &error);
        QVERIFY2(b, qPrintable(error));
        QVERIFY(b->simulated);
        QVERIFY(b->sim);
        QCOMPARE(b->name, QString("sim"));
        QCOMPARE(static_cast<DaqDriver*>(b->sim), b->driver.get());
        QCOMPARE(b->sim->record(), sim::healthyRecord());
        QCOMPARE(b->sim->conditions().conversionUs, 25);
    }

    void simWithScenario() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.json");
        writeFile(path,
                  R"({"lamp": 1.25, "conversion_us": 0, "events": [{"at": 1, "button": true}]})");
        qputenv("QVR100_DAQ", "sim");
        qputenv("QVR100_SIM_SCENARIO", path.toLocal8Bit());
        ManualClock clock;
        QString error;
        auto b = openBackend(clock, &error);
        QVERIFY2(b, qPrintable(error));
        QCOMPARE(b->sim->conditions().lamp, 1.25);
        std::int16_t in = 0;
        b->driver->cbDIn(0, AUXPORT, in);
        QCOMPARE(in & 2, 0);
        clock.advance(1000); // events run on the program's clock
        b->driver->cbDIn(0, AUXPORT, in);
        QCOMPARE(in & 2, 2);
    }

    void comediChosen() {
        qputenv("QVR100_DAQ", "comedi");
        ManualClock clock;
        QString error;
        auto b = openBackend(clock, &error);
        QVERIFY2(b, qPrintable(error));
        QVERIFY(!b->simulated);
        QVERIFY(!b->sim);
        QCOMPARE(b->name, QString("comedi"));
        QVERIFY(b->driver);
    }

    void unsetFollowsTheDeviceNodes() {
        ManualClock clock;
        QString error;
        auto b = openBackend(clock, &error);
        QVERIFY2(b, qPrintable(error));
        QCOMPARE(b->simulated, !comediDeviceExists());
    }

    void refused_data() {
        QTest::addColumn<QByteArray>("daq");
        QTest::addColumn<QByteArray>("scenario"); // file content; "-" for a missing file
        QTest::addColumn<bool>("traceToFolder");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown backend") << QByteArray("simulator") << QByteArray() << false
                                         << "QVR100_DAQ must be \"sim\" or \"comedi\", not "
                                            "\"simulator\"";
        QTest::newRow("scenario missing")
            << QByteArray("sim") << QByteArray("-") << false << "QVR100_SIM_SCENARIO: cannot read";
        QTest::newRow("scenario refused") << QByteArray("sim") << QByteArray(R"({"gain": 11})")
                                          << false << "scenario key \"gain\"";
        QTest::newRow("scenario not JSON")
            << QByteArray("sim") << QByteArray("gain = 1") << false << "not valid JSON";
        QTest::newRow("trace cannot be opened")
            << QByteArray("sim") << QByteArray() << true << "cannot open the trace file";
    }
    void refused() {
        QFETCH(QByteArray, daq);
        QFETCH(QByteArray, scenario);
        QFETCH(bool, traceToFolder);
        QFETCH(QString, message);
        QTemporaryDir dir;
        qputenv("QVR100_DAQ", daq);
        if (!scenario.isEmpty()) {
            const QString path = dir.filePath("s.json");
            if (scenario != "-")
                writeFile(path, scenario);
            qputenv("QVR100_SIM_SCENARIO", path.toLocal8Bit());
        }
        if (traceToFolder)
            qputenv("QVR100_SIM_TRACE", dir.path().toLocal8Bit());
        ManualClock clock;
        QString error;
        QVERIFY(!openBackend(clock, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
    }

    void traceLines() {
        QTemporaryDir dir;
        const QString path = dir.filePath("trace.txt");
        writeFile(path, "earlier run\n");
        auto fake = std::make_unique<FakeDriver>();
        fake->count = 3604;
        fake->inputs = 5;
        fake->boards[0] = {41, "PCI-DAS08"};
        QString error;
        auto trace = TracingDriver::open(std::move(fake), path, &error);
        QVERIFY2(trace, qPrintable(error));
        std::int16_t v = 0;
        std::int32_t type = 0;
        char name[kBoardNameSize];
        std::memset(name, ' ', sizeof name);
        QCOMPARE(trace->cbDOut(0, AUXPORT, 13), 0);
        QCOMPARE(trace->cbDIn(0, AUXPORT, v), 0);
        QCOMPARE(trace->cbAIn(0, 0, BIP5VOLTS, v), 0);
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
        QTemporaryDir dir;
        const QString path = dir.filePath("trace.txt");
        qputenv("QVR100_DAQ", "sim");
        qputenv("QVR100_SIM_TRACE", path.toLocal8Bit());
        ManualClock clock;
        QString error;
        auto b = openBackend(clock, &error);
        QVERIFY2(b, qPrintable(error));
        QVERIFY(b->sim);
        QVERIFY(b->trace);
        QVERIFY(static_cast<DaqDriver*>(b->sim) != b->driver.get());
        b->driver->cbDOut(0, AUXPORT, 12);
        QVERIFY(b->sim->ledOn());
        std::int16_t v = 0;
        b->driver->cbDIn(3, AUXPORT, v); // no board 3: failed, destination left alone
        b->flush();
        QCOMPARE(readLines(path), (QStringList{"cbDOut 0 1 12 0", "cbDIn 3 1 0 1"}));
    }

    void exitFlushesTheTrace() {
        QTemporaryDir dir;
        const QString path = dir.filePath("trace.txt");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QVR100_TEST_EXIT_TRACE", path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(readLines(path), QStringList{"cbDOut 0 1 8 0"});
    }

    void manyLinesAreWrittenInOrder() {
        QTemporaryDir dir;
        const QString path = dir.filePath("trace.txt");
        QString error;
        auto trace = TracingDriver::open(std::make_unique<FakeDriver>(), path, &error);
        QVERIFY(trace);
        for (int i = 0; i < 20000; ++i)
            trace->cbDOut(0, AUXPORT, static_cast<std::uint16_t>(i));
        trace->flush();
        const QStringList lines = readLines(path);
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
    qvr::test::TestSimBackend test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_sim_backend.moc"
