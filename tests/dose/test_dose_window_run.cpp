// End to end: the real qvr100pci --headless on the simulated head, on this test's private bus;
// a training job, three films captured through the window's capture action, a PDF report.

#include "DoseFixtures.h"
#include "TempXdg.h"

#include "dose/core/Fitting.h"
#include "dose/link/BusReader.h"
#include "dose/ui/DoseWindow.h"
#include "dose/ui/ReadView.h"

#include <QAction>
#include <QDBusConnection>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

using namespace qvr::dose;

namespace {

constexpr int kWaitMs = 30000;

// Film in for eight seconds, out for one, three times; no noise, no conversion time. Five
// settled readings take three seconds at the reader's pace, and twice that on a loaded machine
// under the sanitizers.
const QByteArray kScenario = R"({"conversion_us": 0, "noise": 0, "events": [
    {"at": 3, "film": {"present": true}}, {"at": 11, "film": {"present": false}},
    {"at": 12, "film": {"present": true}}, {"at": 20, "film": {"present": false}},
    {"at": 21, "film": {"present": true}}, {"at": 29, "film": {"present": false}}]})";

} // namespace

class TestDoseWindowRun : public QObject {
    Q_OBJECT
private slots:
    void threeFilmsToAReport() {
        qvr::test::TempXdg xdg;
        QFile scenario(xdg.configHome() + QStringLiteral("/scenario.json"));
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        scenario.write(kScenario);
        scenario.close();
        QProcess reader;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QVR100_DAQ"), QStringLiteral("sim"));
        env.insert(QStringLiteral("QVR100_SIM_SCENARIO"), scenario.fileName());
        reader.setProcessEnvironment(env);
        reader.start(QStringLiteral(QVR100_BIN_DIR "/qvr100pci"), {QStringLiteral("--headless")});
        QVERIFY(reader.waitForStarted(kWaitMs));
        auto stop = qScopeGuard([&] {
            reader.terminate();
            if (!reader.waitForFinished(kWaitMs))
                reader.kill();
        });

        BusReader bus(QDBusConnection::sessionBus());
        QTRY_VERIFY_WITH_TIMEOUT(bus.items(), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(bus.items()->value(QStringLiteral("State")).toString(),
                                  QStringLiteral("reading"), kWaitMs);
        const ReaderItems items = *bus.items();
        const QString head = items.value(QStringLiteral("lblSN")).toString().trimmed();
        const int nm = servedWavelength(items.value(QStringLiteral("WL")).toString()).value_or(0);

        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("dose.sqlite"));
        // Made by ana's window, as the program makes it: she holds every role.
        auto store = Store::open(db, systemNow(), IfMissing::Create, QStringLiteral("ana"));
        QVERIFY2(store, qPrintable(store.error()));
        Store& s = **store;
        Batch batch;
        batch.id = QStringLiteral("LOT-E");
        batch.thicknessUm = 50;
        batch.uThicknessUm = 0.8;
        batch.background = {{nm, 0.12}};
        batch.operatorName = QStringLiteral("ana");
        Calibration c = test::filmCalibration();
        c.batchId = batch.id;
        c.headSerial = head;
        c.wavelengthNm = nm;
        QVERIFY(s.addBatch(batch));
        auto cal = s.addCalibration(c);
        QVERIFY(cal);
        c.id = cal->id;
        auto fit = fitCalibration(c, Model::Power, false);
        QVERIFY(fit && s.addFit(*fit));
        QVERIFY(s.addJob({QStringLiteral("E2E"),
                          QStringLiteral("training run"),
                          std::nullopt,
                          std::nullopt,
                          true,
                          "ana",
                          {},
                          DecisionRule::Guarded,
                          true,
                          false,
                          {},
                          {},
                          0,
                          {}}));

        CaptureSession session(s, bus, systemNow(), QStringLiteral("ana"));
        connect(&bus, &BusReader::absorbanceWritten, &session, [&] { session.poll(true); });
        DoseWindow window(
            s, session,
            {QStringLiteral("ana"), systemNow(), dir.filePath(QStringLiteral("qvr100dose.conf"))});
        window.readView()->reloadChoices(QStringLiteral("E2E"), c.id);
        session.setAutomatic(false);
        window.show();
        auto* id = window.findChild<QLineEdit*>(QStringLiteral("dosimeter"));
        QSignalSpy captured(&session, &CaptureSession::captured);
        for (int film = 1; film <= 3; ++film) {
            id->setText(QStringLiteral("F%1").arg(film));
            QTRY_VERIFY_WITH_TIMEOUT(session.stable() && !session.blocker(), kWaitMs);
            window.action(QStringLiteral("capture"))->trigger();
            QCOMPARE(captured.count(), film);
            // The same film is refused until it has been taken out.
            QVERIFY(!session.capture());
        }
        auto all = s.records(QStringLiteral("E2E"));
        QVERIFY(all && all->size() == 3);
        for (const Record& r : *all) {
            QVERIFY(r.simulated);
            QVERIFY(r.flags.contains(QStringLiteral("training")));
        }

        const QString pdf = dir.filePath(QStringLiteral("e2e.pdf"));
        const auto reportId = window.writeReport(pdf);
        QVERIFY2(reportId, qPrintable(reportId.error()));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(kWaitMs));
        const QString out = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        for (const QString& e :
             {*reportId, QStringLiteral("TRAINING JOB"), QStringLiteral("F1"), QStringLiteral("F2"),
              QStringLiteral("F3"), QStringLiteral("head serial ") + head, *s.headHash()})
            QVERIFY2(out.contains(e), qPrintable(e));
    }
};

QTEST_MAIN(TestDoseWindowRun)
#include "test_dose_window_run.moc"
