// Capturing dosimeters from the reader's items through the link seam: stable detection, the
// film-out rule, the reading rules' refusals, and the colours the window gives states and doses.

#include "DoseBench.h"

#include "dose/core/JobSummary.h"
#include "dose/usecases/CaptureSession.h"

#include <QSignalSpy>
#include <QtTest>

using namespace qvr::dose;
using namespace qvr::dose::test;

class TestDoseCapture : public QObject {
    Q_OBJECT

    DoseBench bench_;
    FakeReader reader_;
    std::unique_ptr<CaptureSession> session_;

    void serve(const char* a, int times = 1) {
        reader_.served.insert(QStringLiteral("A"), QString::fromLatin1(a));
        for (int i = 0; i < times; ++i)
            session_->poll(true);
    }
    void filmOutAndIn() {
        reader_.served.insert(QStringLiteral("lblPresent"), QStringLiteral("No Film"));
        session_->poll(true);
        reader_.served.insert(QStringLiteral("lblPresent"), QStringLiteral("Film"));
    }
    qsizetype stored(const QString& job = QStringLiteral("T1")) {
        auto all = bench_.store->records(job);
        return all ? static_cast<qsizetype>(all->size()) : -1;
    }

private slots:
    void init() {
        bench_.store.reset();
        QFile::remove(bench_.path);
        QVERIFY(bench_.open());
        reader_ = FakeReader();
        session_ = std::make_unique<CaptureSession>(*bench_.store, reader_, bench_.clock(),
                                                    QStringLiteral("ana"));
        QVERIFY(session_->choose(QStringLiteral("T1"), bench_.calibrationId));
        session_->setDosimeter(QStringLiteral("D1"));
    }

    // A job that reads both wavelengths: the stable readings at 600 nm, then the reader switched
    // to 510 nm and back, one record with both reads.
    void capturesAtBothWavelengths() {
        Job both;
        both.id = QStringLiteral("TB");
        both.product = QStringLiteral("practice");
        both.dminKGy = 5.0;
        both.dmaxKGy = 30.0;
        both.training = true;
        both.operatorName = QStringLiteral("ana");
        both.bothWavelengths = true;
        QVERIFY(bench_.store->addJob(both));
        QVERIFY(!session_->choose(both.id, bench_.calibrationId));
        Calibration at600 = filmCalibration();
        at600.batchId = QStringLiteral("LOT-A");
        at600.headSerial = QStringLiteral("1234");
        at600.wavelengthNm = 600;
        Calibration at510 = at600;
        at510.wavelengthNm = 510;
        const auto pair = bench_.store->addCalibrations({at600, at510});
        QVERIFY2(pair, qPrintable(pair.error()));
        for (const Receipt& r : *pair) {
            Calibration c = at600;
            c.id = r.id;
            auto fit = fitCalibration(c, Model::Power, false);
            QVERIFY(fit && bench_.store->addFit(*fit));
        }
        QVERIFY(session_->choose(both.id, pair->front().id));
        reader_.served.insert(QStringLiteral("lblA1"), QStringLiteral("510 nm"));
        reader_.served.insert(QStringLiteral("lblA2"), QStringLiteral("600 nm"));
        QSignalSpy captured(session_.get(), &CaptureSession::captured);
        QSignalSpy refused(session_.get(), &CaptureSession::refused);
        serve("0.850", 5);
        QCOMPARE(captured.count(), 1);
        QCOMPARE(refused.count(), 0);
        const Record r = captured.at(0).at(0).value<Record>();
        QVERIFY(r.second);
        QCOMPARE(r.wavelengthNm, 600);
        QCOMPARE(r.second->wavelengthNm, 510);
        QCOMPARE(r.second->readings.size(), size_t(5));
        QCOMPARE(r.second->outcome, DualOutcome::Combined);
        QCOMPARE(reader_.served.value(QStringLiteral("WL")).toString(), QStringLiteral("600 nm"));
        QCOMPARE(stored(both.id), 1);
    }

    void capturesByItselfOncePerFilm() {
        QSignalSpy captured(session_.get(), &CaptureSession::captured);
        serve("0.850", 4);
        QCOMPARE(captured.count(), 0);
        serve("0.851");
        QCOMPARE(captured.count(), 1);
        const Record r = captured.at(0).at(0).value<Record>();
        QCOMPARE(r.readings.size(), size_t(5));
        QVERIFY(r.result.inRange);
        QVERIFY(r.flags.contains(QStringLiteral("training")));
        // The same film stays in: nothing more, by itself or on the key.
        serve("0.850", 10);
        QVERIFY(!session_->capture());
        QCOMPARE(stored(), 1);
        // A reread of the same dosimeter after the film went out and in again adds a row.
        filmOutAndIn();
        serve("0.860", 5);
        QCOMPARE(captured.count(), 2);
        QCOMPARE(captured.at(1).at(0).value<Record>().reread, 1);
        QCOMPARE(stored(), 2);
    }

    void settlesOnlyWithinTheBand_data() {
        QTest::addColumn<QStringList>("readings");
        QTest::addColumn<bool>("captured");
        QTest::newRow("steady") << QStringList{"0.850", "0.851", "0.852", "0.851", "0.850"} << true;
        QTest::newRow("drifting") << QStringList{"0.850", "0.852", "0.854", "0.856", "0.858"}
                                  << false;
        QTest::newRow("settles late")
            << QStringList{"0.700", "0.800", "0.850", "0.850", "0.850", "0.850", "0.850"} << true;
        QTest::newRow("one spike")
            << QStringList{"0.850", "0.850", "0.856", "0.850", "0.850"} << false;
        QTest::newRow("zeroing breaks the run")
            << QStringList{"0.850", "0.850", "Zeroing", "0.850", "0.850", "0.850"} << false;
    }
    void settlesOnlyWithinTheBand() {
        QFETCH(QStringList, readings);
        QFETCH(bool, captured);
        for (const QString& a : readings)
            serve(a.toLatin1().constData());
        QCOMPARE(stored(), captured ? 1 : 0);
    }

    // Whatever ends the reading period discards the readings taken so far: the capture that
    // follows holds only readings from after it.
    void captureIsOneReadingPeriod_data() {
        QTest::addColumn<ReaderItems>("during"); // served between two readings
        QTest::addColumn<ReaderItems>("after");  // then, for the readings that follow
        QTest::addColumn<QString>("why");
        QTest::newRow("restart") << ReaderItems{{kOwnerItem, ":1.9"}} << ReaderItems{}
                                 << "the reader was restarted";
        QTest::newRow("new zero") << ReaderItems{{"Zeros", "2"}} << ReaderItems{}
                                  << "the reader took a new zero";
        QTest::newRow("wavelength")
            << ReaderItems{{"WL", "510 nm"}} << ReaderItems{{"WL", "600 nm"}, {"Zeros", "3"}}
            << "the wavelength changed from 600 nm to 510 nm";
        QTest::newRow("film swap")
            << ReaderItems{{"lblPresent", "No Film"}} << ReaderItems{{"lblPresent", "Film"}}
            << "the film switch opened";
        QTest::newRow("simulated") << ReaderItems{{"Simulated", false}} << ReaderItems{}
                                   << "the reader changed between the simulated and a real head";
    }
    void captureIsOneReadingPeriod() {
        QFETCH(ReaderItems, during);
        QFETCH(ReaderItems, after);
        QFETCH(QString, why);
        QSignalSpy refused(session_.get(), &CaptureSession::refused);
        serve("0.850", 3);
        for (auto it = during.begin(); it != during.end(); ++it)
            reader_.served.insert(it.key(), it.value());
        session_->poll(false);
        QCOMPARE(refused.count(), 1);
        const QString said = refused.at(0).at(0).toString();
        QVERIFY2(said.startsWith(why) && said.contains(QLatin1String("nothing is recorded")),
                 qPrintable(said));
        for (auto it = after.begin(); it != after.end(); ++it)
            reader_.served.insert(it.key(), it.value());
        serve("0.860", 4);
        QCOMPARE(stored(), 0); // four readings since: not yet settled
        serve("0.860");
        auto all = bench_.store->records(QStringLiteral("T1"));
        QVERIFY(all && all->size() == 1);
        for (const Reading& r : all->front().readings)
            QCOMPARE(r.absorbance, 0.860);
    }

    void manualCaptureNeedsNoSettling() {
        session_->setAutomatic(false);
        serve("0.850", 20);
        QCOMPARE(stored(), 0);
        QVERIFY(session_->capture());
        QCOMPARE(stored(), 1);
    }

    // The item rules one by one are tested in test_dose_core; here one of them, the context
    // the session gives them, and what only a capture can lack.
    void refusesWhatTheRulesForbid_data() {
        QTest::addColumn<bool>("training");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("why");
        QTest::newRow("simulated, real job")
            << false << "Simulated" << QVariant(true) << "training";
        QTest::newRow("other wavelength") << true << "WL" << QVariant("510 nm") << "510 nm";
        QTest::newRow("other head") << true << "lblSN" << QVariant("9999") << "head";
        QTest::newRow("reader gone") << true << "" << QVariant() << "not running";
        QTest::newRow("no dosimeter id") << true << "id" << QVariant() << "dosimeter";
        QTest::newRow("real job, no reader check")
            << false << "check" << QVariant() << "has no filter check at 600 nm";
        QTest::newRow("real job, check failed since")
            << false << "check" << QVariant(false) << "failed: no dose is read";
        QTest::newRow("id with ESC") << true << "id" << QVariant("D\x1b[2J") << "U+001B";
        QTest::newRow("gauge of 1 µm") << true << "thickness" << QVariant(1.0) << "5 to 3000 µm";
        QTest::newRow("gauge far, not confirmed")
            << true << "thickness" << QVariant(70.0) << "confirm it (tick";
    }
    void refusesWhatTheRulesForbid() {
        QFETCH(bool, training);
        const QString job = training ? "T1" : "R1";
        QFETCH(QString, item);
        QFETCH(QVariant, value);
        QFETCH(QString, why);
        QVERIFY(session_->choose(job, bench_.calibrationId));
        session_->setAutomatic(false);
        serve("0.850", 5);
        if (item.isEmpty())
            reader_.running = false;
        else if (item == u"check") {
            reader_.served.insert(QStringLiteral("Simulated"), false);
            // A failed check after a passing one; none at all otherwise.
            if (value.isValid())
                QVERIFY(bench_.check(true) && bench_.check(false));
        } else if (item == u"id")
            session_->setDosimeter(value.toString());
        else if (item == u"thickness")
            session_->setDosimeter(QStringLiteral("D1"), value.toDouble());
        else
            reader_.served.insert(item, value);
        serve("0.850", 5);
        QSignalSpy refused(session_.get(), &CaptureSession::refused);
        const auto r = session_->capture();
        QVERIFY(!r);
        QVERIFY2(r.error().contains(why, Qt::CaseInsensitive), qPrintable(r.error()));
        QCOMPARE(refused.count(), 1);
        QCOMPARE(stored(job), 0);
    }

    void statesAndDosesHaveTheirTones_data() {
        QTest::addColumn<QVariantMap>("items");
        QTest::addColumn<QString>("words");
        QTest::addColumn<int>("tone");
        auto with = [](std::initializer_list<std::pair<QString, QVariant>> pairs) {
            QVariantMap m{{"State", "reading"}, {"Fault", ""}, {"Simulated", false}};
            for (const auto& [k, v] : pairs)
                m.insert(k, v);
            return m;
        };
        QTest::newRow("reading") << with({}) << "reading" << int(Tone::Good);
        QTest::newRow("simulated")
            << with({{"Simulated", true}}) << "simulated" << int(Tone::Caution);
        QTest::newRow("zeroing") << with({{"State", "zeroing"}}) << "zeroing" << int(Tone::Busy);
        QTest::newRow("caution with its reason")
            << with({{"State", "caution"}, {"Notice", "Caution: lamp"}}) << "caution: Caution: lamp"
            << int(Tone::Caution);
        QTest::newRow("fault wins")
            << with({{"Fault", "lamp"}, {"Simulated", true}}) << "fault: lamp" << int(Tone::Bad);
        QTest::newRow("not running") << QVariantMap() << "not running" << int(Tone::Off);
    }
    void statesAndDosesHaveTheirTones() {
        QFETCH(QVariantMap, items);
        QFETCH(QString, words);
        QFETCH(int, tone);
        const LinkState state = linkStateOf(items.isEmpty() ? nullptr : &items);
        QCOMPARE(linkStateWords(state, items), words);
        QCOMPARE(int(linkTone(state)), tone);
    }

    void decisionFollowsTheRule_data() {
        QTest::addColumn<double>("dose");
        QTest::addColumn<double>("u");
        QTest::addColumn<int>("decision");
        // Dmin 5, Dmax 30
        QTest::newRow("inside with U") << 10.0 << 1.0 << int(Decision::Pass);
        QTest::newRow("Dmin at D - U") << 6.0 << 1.0 << int(Decision::Pass);
        QTest::newRow("Dmin within U") << 5.5 << 1.0 << int(Decision::Undecided);
        QTest::newRow("Dmax within U") << 29.5 << 1.0 << int(Decision::Undecided);
        QTest::newRow("below even with U") << 3.0 << 1.0 << int(Decision::Fail);
        QTest::newRow("above even with U") << 32.0 << 1.0 << int(Decision::Fail);
    }
    void decisionFollowsTheRule() {
        QFETCH(double, dose);
        QFETCH(double, u);
        QFETCH(int, decision);
        QCOMPARE(int(decide(dose, u, *session_->job())), decision);
    }

    void summaryAveragesValidReadsOnly() {
        serve("0.850", 5); // D1, about 10 kGy
        filmOutAndIn();
        serve("0.870", 5); // D1 reread
        filmOutAndIn();
        serve("2.990", 5); // D1 again, far above the calibrated range: no dose
        auto all = bench_.store->records(QStringLiteral("T1"));
        QVERIFY(all);
        QCOMPARE(all->size(), size_t(3));
        const JobSummary s = summarize(*session_->job(), *all);
        QCOMPARE(s.dosimeters.size(), size_t(1));
        QCOMPARE(s.dosimeters[0].reads, 3);
        QCOMPARE(s.dosimeters[0].n, 2);
        QVERIFY(qFuzzyCompare(s.dosimeters[0].dose,
                              (all->at(0).result.dose + all->at(1).result.dose) / 2));
        QVERIFY(!all->at(2).result.inRange);
        QVERIFY(all->at(2).flags.contains(QStringLiteral("above_range")));
        // Beyond the range's 50 kGy is beyond Dmax 30 for certain, though it is no dose.
        QVERIFY(all->at(2).flags.contains(QStringLiteral("above_dmax")));
        QCOMPARE(int(recordTone(all->at(2), *session_->job())), int(Tone::Bad));
    }
};

QTEST_GUILESS_MAIN(TestDoseCapture)
#include "test_dose_capture.moc"
