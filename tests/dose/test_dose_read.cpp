// read against the real qvr100pci --headless on the simulated head, on the private bus of
// dbus-run-session. The program runs in real time: every wait is for an event, with a limit.

#include "TempXdg.h"
#include "dose/cli/Cli.h"
#include "dose/link/BusReader.h"
#include "link/text/BusNames.h"

#include <QDBusServiceWatcher>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace qvr::dose;

class TestDoseRead : public QObject {
    Q_OBJECT

    static constexpr int kWaitMs = 30000;
    qvr::test::TempXdg xdg_;
    QTemporaryDir dir_;
    QProcess reader_;
    QString out_, err_;

    int run(const QString& line) {
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        CliEnv env;
        env.out = &out;
        env.err = &err;
        env.operatorName = QStringLiteral("tester");
        env.database = dir_.filePath(QStringLiteral("dose.sqlite"));
        env.reader = [] { return std::make_unique<BusReader>(QDBusConnection::sessionBus()); };
        env.readingTimeoutMs = kWaitMs;
        return runCli(line.split(QLatin1Char(' '), Qt::SkipEmptyParts), env);
    }

    bool startReader() {
        QDBusServiceWatcher watcher(qvr::busService(), QDBusConnection::sessionBus());
        QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
        reader_.start(QStringLiteral(QVR100_BIN_DIR "/qvr100pci"), {QStringLiteral("--headless")});
        if (registered.wait(kWaitMs))
            return true;
        qWarning("%s", reader_.readAllStandardError().constData());
        return false;
    }
    bool stopReader() {
        ::kill(static_cast<pid_t>(reader_.processId()), SIGTERM);
        return reader_.waitForFinished(kWaitMs);
    }

private slots:
    void initTestCase() {
        QFile scenario(xdg_.configHome() + "/scenario.json");
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        scenario.write(R"({"conversion_us": 0, "noise": 0,
                           "film": {"present": true, "od": [0.8, 0.6]}})");
        scenario.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QVR100_DAQ"), QStringLiteral("sim"));
        env.insert(QStringLiteral("QVR100_SIM_SCENARIO"), scenario.fileName());
        reader_.setProcessEnvironment(env);
        QVERIFY(startReader());

        // A straight calibration, D = 20 A, over the whole absorbance range, at the head's
        // first wavelength.
        QFile csv(dir_.filePath(QStringLiteral("line.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("dose_kGy,absorbance,thickness_um,u_dose_percent\n");
        for (int i = 1; i <= 8; ++i)
            for (int r = 0; r < 2; ++r)
                csv.write(QByteArray::number(i * 7) + ',' + QByteArray::number(i * 0.35) +
                          ",1000,1.5\n");
        csv.close();
        QCOMPARE(run("batch add B --thickness-um 1000 --background 510=0 --background 600=0"), 0);
        for (const char* head : {"1234", "9999"})
            QCOMPARE(
                run(QStringLiteral("calibration import %1 --batch B --head %2 --wavelength 510")
                        .arg(csv.fileName(), QLatin1String(head))),
                0);
        QCOMPARE(run("calibration fit 1 --model poly1"), 0);
        QCOMPARE(run("calibration fit 2 --model poly1"), 0);
        QCOMPARE(run("job add T --training"), 0);
        QCOMPARE(run("job add R"), 0);
    }
    void cleanupTestCase() { QVERIFY(stopReader()); }

    void followsTheServedAbsorbance() {
        BusReader reader(QDBusConnection::sessionBus());
        const auto items = reader.items();
        QVERIFY2(items, qPrintable(items.error()));
        QCOMPARE(items->value(QStringLiteral("lblSN")).toString(), QStringLiteral("1234"));
        const auto next = reader.nextReading(kWaitMs);
        QVERIFY2(next, qPrintable(next.error()));
        QVERIFY(next->contains(QStringLiteral("A")));
    }

    void readsInATrainingJobAndRefusesOtherwise() {
        BusReader probe(QDBusConnection::sessionBus());
        const auto items = probe.items();
        QVERIFY(items && items->contains(QStringLiteral("State")));
        QTRY_COMPARE_WITH_TIMEOUT(probe.items()->value(QStringLiteral("State")).toString(),
                                  QStringLiteral("reading"), kWaitMs);

        QCOMPARE(run("read --job T --dosimeter D1 --calibration 1 --readings 3 --json"), 0);
        const QJsonObject record = QJsonDocument::fromJson(out_.toUtf8()).object();
        QCOMPARE(record["readings"].toArray().size(), 3);
        QCOMPARE(record["flags"].toArray().first().toString(), QStringLiteral("training"));
        QVERIFY(record["flags"].toArray().contains(QStringLiteral("simulated")));
        QCOMPARE(record["head"].toString(), QStringLiteral("1234"));

        QCOMPARE(run("read --job R --dosimeter D1 --calibration 1"), 1);
        QVERIFY2(err_.contains(QLatin1String("simulated head")), qPrintable(err_));
        QCOMPARE(run("read --job T --dosimeter D2 --calibration 2"), 1);
        QVERIFY2(err_.contains(QLatin1String("the calibration is for head 9999")),
                 qPrintable(err_));
        QCOMPARE(run("verify"), 0);
    }

    // The reader restarted part way through a read: readings of two processes, each with its
    // own zero, never make one dose.
    void restartDiscardsTheRead() {
        BusReader probe(QDBusConnection::sessionBus());
        QVERIFY(probe.items());
        int written = 0;
        bool restarted = false;
        connect(&probe, &BusReader::absorbanceWritten, this, [&] {
            if (++written == 2)
                restarted = stopReader() && startReader();
        });
        QCOMPARE(run("read --job T --dosimeter D3 --calibration 1 --readings 8"), 1);
        QVERIFY(restarted);
        QVERIFY2(err_.contains(QLatin1String("the reader was restarted before reading")),
                 qPrintable(err_));
        QCOMPARE(run("record list --job T --json"), 0);
        for (const QJsonValue& r : QJsonDocument::fromJson(out_.toUtf8()).array())
            QVERIFY(r.toObject()["dosimeter"].toString() != QLatin1String("D3"));
        QCOMPARE(run("verify"), 0);
    }
};

QTEST_GUILESS_MAIN(TestDoseRead)
#include "test_dose_read.moc"
