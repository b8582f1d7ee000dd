// read against the real qvr100pci --headless on the simulated head, on the private bus of
// dbus-run-session. The program runs in real time: every wait is for an event, with a limit.

#include "FakeSigning.h"
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
        qvr::test::withFakeSigning(env);
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
    // The reader again, on a film of its own: in from the start, once both wavelengths are zeroed.
    bool restartWith(const QByteArray& film) {
        if (!stopReader())
            return false;
        QFile scenario(xdg_.configHome() + "/scenario.json");
        if (!scenario.open(QIODevice::WriteOnly) ||
            scenario.write(R"({"conversion_us": 0, "noise": 0, "film": )" + film +
                           R"(, "events": [{"at": 2.5, "film": {"present": true}}]})") < 0)
            return false;
        scenario.close();
        if (!startReader())
            return false;
        BusReader probe(QDBusConnection::sessionBus());
        for (int i = 0; i < 60; ++i) {
            const auto items = probe.nextReading(kWaitMs);
            if (items && items->value(QStringLiteral("State")).toString() == u"reading" &&
                items->value(QStringLiteral("lblPresent")).toString() == u"Film")
                return true;
        }
        return false;
    }
    QJsonObject dualRead(const QString& dosimeter) {
        if (run("read --job TD --calibration 3 --json --dosimeter " + dosimeter) != 0)
            qWarning("%s", qPrintable(err_));
        return QJsonDocument::fromJson(out_.toUtf8()).object();
    }
    bool stopReader() {
        ::kill(static_cast<pid_t>(reader_.processId()), SIGTERM);
        return reader_.waitForFinished(kWaitMs);
    }

private slots:
    void initTestCase() {
        QFile scenario(xdg_.configHome() + "/scenario.json");
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        // The film goes in once the reader has zeroed: it never zeroes through one.
        scenario.write(R"({"conversion_us": 0, "noise": 0,
                           "film": {"present": false, "od": [0.8, 0.6]},
                           "events": [{"at": 1.5, "film": {"present": true}}]})");
        scenario.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QVR100_DAQ"), QStringLiteral("sim"));
        env.insert(QStringLiteral("QVR100_SIM_SCENARIO"), scenario.fileName());
        reader_.setProcessEnvironment(env);
        QVERIFY(startReader());

        // A straight calibration, D = 20 A, over the whole absorbance range, at the head's
        // first wavelength: three films a level, 0.4 % apart.
        QFile csv(dir_.filePath(QStringLiteral("line.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("dose_kGy,absorbance,thickness_um,u_dose_percent\n");
        for (int i = 1; i <= 8; ++i)
            for (int r = 0; r < 3; ++r)
                csv.write(QByteArray::number(i * 7) + ',' +
                          QByteArray::number(i * 0.35 * (1 + 0.004 * (r - 1)), 'g', 17) +
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

    // A film read at both wavelengths on the real reader: it switches to 600 nm and back, and
    // the two doses agree; a damaged film disagrees; a film beyond the 600 nm range gives its
    // 510 nm dose.
    void readsBothWavelengths() {
        // D = 20 A at 510 nm, D = 80/3 A at 600 nm: the film of OD 0.8 and 0.6 is 16 kGy at
        // both. The films' scatter differs between the two.
        QFile csv(dir_.filePath(QStringLiteral("both.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("dose_kGy,absorbance_510,absorbance_600,thickness_um,u_dose_percent\n");
        for (int i = 1; i <= 8; ++i)
            for (int r = 0; r < 3; ++r)
                csv.write(
                    QByteArray::number(i * 7) + ',' +
                    QByteArray::number(i * 0.35 * (1 + 0.004 * (r - 1)), 'g', 17) + ',' +
                    QByteArray::number(i * 0.2625 * (1 + 0.004 * ((r + 1) % 3 - 1)), 'g', 17) +
                    ",1000,1.5\n");
        csv.close();
        QCOMPARE(run("calibration import " + csv.fileName() + " --batch B --head 1234"), 0);
        QCOMPARE(out_, QStringLiteral("3\n4\n"));
        QCOMPARE(run("calibration fit 3 --model poly1"), 0);
        QCOMPARE(run("calibration fit 4 --model poly1"), 0);
        QCOMPARE(run("job add TD --training --wavelengths both"), 0);

        QVERIFY(restartWith(R"({"present": false, "od": [0.8, 0.6]})"));
        QJsonObject o = dualRead("G1");
        QCOMPARE(o.value("doses")[0]["wavelength_nm"].toInt(), 510);
        QCOMPARE(o.value("doses")[1]["wavelength_nm"].toInt(), 600);
        QCOMPARE(o["second_readings"].toArray().size(), 3);
        QVERIFY2(o.value("agreement")["consistent"].toBool(), qPrintable(out_));
        QCOMPARE(o["dual_outcome"].toString(), QStringLiteral("combined"));
        QVERIFY(std::fabs(o["dose_kGy"].toDouble() - 16) < 0.1);
        // Back at 510 nm, reading: the next film is read at once.
        BusReader probe(QDBusConnection::sessionBus());
        QCOMPARE(probe.items()->value(QStringLiteral("WL")).toString(), QStringLiteral("510 nm"));
        o = dualRead("G2");
        QVERIFY2(o.value("agreement")["consistent"].toBool(), qPrintable(out_));

        QVERIFY(restartWith(R"({"present": false, "od": [0.8, 0.6], "damage": [0, 0.15]})"));
        o = dualRead("DAMAGED");
        QVERIFY2(o["flags"].toArray().contains(QStringLiteral("wavelength_mismatch")),
                 qPrintable(out_));
        QVERIFY(o["dose_kGy"].isNull());

        QVERIFY(restartWith(R"({"present": false, "od": [0.8, 2.5]})"));
        o = dualRead("DARK");
        QCOMPARE(o["dual_outcome"].toString(), QStringLiteral("first_only"));
        QCOMPARE(o.value("doses")[1]["flags"].toArray(), QJsonArray{"above_range"});
        QVERIFY(std::fabs(o["dose_kGy"].toDouble() - 16) < 0.1);
        QCOMPARE(run("verify"), 0);
    }

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
        QTRY_COMPARE_WITH_TIMEOUT(probe.items()->value(QStringLiteral("lblPresent")).toString(),
                                  QStringLiteral("Film"), kWaitMs);

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
