// A mapping run's dosimeter read through a scripted reader: the same dose, budget and flags a
// job's read gives, stored as the run's dose at its position, and what refuses such a read.

#include "DoseRoles.h"
#include "FakeReader.h"
#include "FakeSigning.h"
#include "dose/cli/Cli.h"
#include "dose/core/MappingMap.h"
#include "dose/core/MappingSummary.h"
#include "dose/store/Store.h"
#include "dose/usecases/StudyReport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace qvr::dose;
using namespace qvr::dose::test;

class TestDoseMappingRead : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out_, err_;
    QString operator_ = QStringLiteral("mapper");
    ReaderItems readerItems_ = readyItems();
    QStringList absorbances_;
    QDateTime now_{QDate(2026, 12, 7), QTime(9, 0), Qt::UTC};

    int run(const QString& line) {
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        CliEnv env;
        qvr::test::withFakeSigning(env);
        env.out = &out;
        env.err = &err;
        env.now = [this] { return now_; };
        env.operatorName = operator_;
        env.database = dir_.filePath(QStringLiteral("dose.sqlite"));
        env.reader = [this] { return std::make_unique<FakeReader>(readerItems_, absorbances_); };
        return runCli(line.split(QLatin1Char(' '), Qt::SkipEmptyParts), env);
    }
    QJsonObject json(const QString& line) {
        const int status = run(line + QStringLiteral(" --json"));
        if (status != 0)
            qWarning("%s -> %d: %s", qPrintable(line), status, qPrintable(err_));
        return QJsonDocument::fromJson(out_.toUtf8()).object();
    }
    QString writeFile(const QString& name, const QByteArray& content) {
        QFile f(dir_.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return {};
        return f.fileName();
    }

private slots:
    void initTestCase() {
        QCOMPARE(run("batch add LOT-A --thickness-um 50 --u-thickness-um 0.8 "
                     "--background 600=0.12"),
                 0);
        QCOMPARE(run("calibration import " QVR100_SOURCE_DIR "/examples/film-calibration.csv "
                     "--batch LOT-A --head 1234 --wavelength 600 --certificate CERT-7 "
                     "--valid-until 2027-06-30"),
                 0);
        QCOMPARE(run("calibration fit 1"), 0);
        // A training study, one that is not, and one approved from imported doses.
        for (const char* line :
             {"mapping add TS --min-required 5 --max-acceptable 30 --training",
              "mapping position add TS MON --monitoring", "mapping position add TS CORNER",
              "mapping run add TS TS-1", "mapping add RS --min-required 5 --max-acceptable 30",
              "mapping position add RS MON --monitoring", "mapping run add RS RS-1",
              "mapping add AS --min-required 5 --max-acceptable 30",
              "mapping position add AS MON --monitoring"})
            QVERIFY2(run(QString::fromLatin1(line)) == 0, qPrintable(line + (": " + err_)));
        for (int r = 1; r <= 3; ++r) {
            const QString id = QStringLiteral("AS-%1").arg(r);
            QCOMPARE(run("mapping run add AS " + id), 0);
            const QString csv =
                writeFile(id + ".csv", "position,dosimeter,dose_kGy,U_kGy,k,source\n"
                                       "MON,AL" +
                                           id.toLatin1() + ",20,0.8,2,alanine\n");
            QCOMPARE(run("mapping import " + id + " --csv " + csv), 0);
        }
        QVERIFY(qvr::test::grantRoles(dir_.filePath(QStringLiteral("dose.sqlite")),
                                      QStringLiteral("quality"), {Role::Metrologist}));
        operator_ = QStringLiteral("quality");
        QVERIFY2(run("mapping approve AS") == 0, qPrintable(err_));
        operator_ = QStringLiteral("mapper");
    }

    // The dose and its budget are the ones `dose` gives for the mean absorbance; the reference
    // doses are the systematic part and the rest the random part, which together make U.
    void readsAsAJobDosimeterIs() {
        readerItems_ = readyItems();
        absorbances_ = {" 1.000", " 1.004", " 0.998"};
        const QJsonObject d = json("read --run TS-1 --position MON --dosimeter F1 --calibration 1");
        QCOMPARE(d["state"].toString(), QStringLiteral("valid"));
        QCOMPARE(d["run"].toString(), QStringLiteral("TS-1"));
        QCOMPARE(d["position"].toString(), QStringLiteral("MON"));
        QCOMPARE(d["readings"].toArray().size(), 3);
        QCOMPARE(d["flags"].toArray(), (QJsonArray{"training", "simulated"}));
        QCOMPARE(d["calibration"].toInt(), 1);
        QCOMPARE(d["calibration_version"].toInt(), 1);
        QCOMPARE(d["batch_version"].toInt(), 1);
        const QJsonObject c = d["components"].toObject();
        QVERIFY(c["reading_percent"].toDouble() > 0); // the readings' spread counted
        const double dose = d["dose_kGy"].toDouble(), k = d["k"].toDouble();
        const double sys = d["u_systematic_rel"].toDouble(), rnd = d["u_random_rel"].toDouble();
        QCOMPARE(sys, c["reference_percent"].toDouble() / 100);
        QVERIFY(rnd > 0);
        QVERIFY(std::abs(k * dose * std::hypot(sys, rnd) - d["U_kGy"].toDouble()) < 1e-9);
        QVERIFY(run("verify --expect " + d["chain_head"].toString()) == 0);

        // The same read as a job's record: the same dose.
        QCOMPARE(run("job add TRAIN --training"), 0);
        absorbances_ = {" 1.000", " 1.004", " 0.998"};
        const QJsonObject rec = json("read --job TRAIN --dosimeter F1 --calibration 1");
        QCOMPARE(rec["dose_kGy"].toDouble(), dose);
        QCOMPARE(rec["U_kGy"].toDouble(), d["U_kGy"].toDouble());

        // The study's results see it.
        const QJsonObject summary = json("mapping summary TS");
        QCOMPARE(summary["per_run"].toArray().at(0).toObject()["missing"].toArray(),
                 QJsonArray{"CORNER"});
    }

    // A film below the calibrated range is the bound "< D_low", flagged.
    void belowTheRangeIsABound() {
        readerItems_ = readyItems();
        absorbances_ = {" 0.010", " 0.010", " 0.010"};
        const QJsonObject d =
            json("read --run TS-1 --position CORNER --dosimeter F2 --calibration 1");
        QCOMPARE(d["state"].toString(), QStringLiteral("below_range"));
        QVERIFY(d["U_kGy"].isNull());
        QVERIFY(d["flags"].toArray().contains(QStringLiteral("below_range")));
        const QJsonObject summary = json("mapping summary TS");
        const QJsonObject dmin = summary["per_run"].toArray().at(0).toObject()["dmin"].toObject();
        QCOMPARE(dmin["position"].toString(), QStringLiteral("CORNER"));
        QVERIFY(dmin["bound"].toBool());
        QCOMPARE(dmin["dose_kGy"].toDouble(), d["dose_kGy"].toDouble());
    }

    void refuses_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("simulated");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        const QString tail = QStringLiteral(" --dosimeter F9 --calibration 1");
        QTest::newRow("a position the study lacks")
            << "read --run TS-1 --position L9" + tail << true << 1
            << "qvr100dose: study TS has no position L9";
        QTest::newRow("no such run")
            << "read --run NO-1 --position MON" + tail << true << 1 << "qvr100dose: no run NO-1";
        QTest::newRow("read already")
            << "read --run TS-1 --position MON" + tail << true << 1
            << "qvr100dose: run TS-1 has a dose at MON already (dosimeter F1)";
        QTest::newRow("approved study") << "read --run AS-1 --position MON" + tail << true << 1
                                        << "qvr100dose: study AS is approved; its runs are closed";
        QTest::newRow("simulated head, real study")
            << "read --run RS-1 --position MON" + tail << true << 1
            << "qvr100dose: the reader runs on the simulated head";
        QTest::newRow("no reader check, real study")
            << "read --run RS-1 --position MON" + tail << false << 1
            << "qvr100dose: head 1234 has no filter check at 600 nm";
        QTest::newRow("job and run") << "read --job TRAIN --run TS-1 --position MON" + tail << true
                                     << 2 << "qvr100dose: read needs --job, or --run and";
        QTest::newRow("run alone") << "read --run TS-1" + tail << true << 2
                                   << "qvr100dose: a mapping read needs both --run and --position";
    }
    void refuses() {
        QFETCH(QString, line);
        QFETCH(bool, simulated);
        QFETCH(int, status);
        QFETCH(QString, error);
        readerItems_ = readyItems();
        readerItems_.insert("Simulated", simulated);
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run(line), status);
        QVERIFY2(err_.startsWith(error), qPrintable(err_));
    }

    // With a passing reader check a study that is not training is read from the real head.
    void realStudyAfterAReaderCheck() {
        {
            auto store = Store::open(dir_.filePath(QStringLiteral("dose.sqlite")),
                                     [this] { return now_.addSecs(-600); });
            QVERIFY(store);
            QVERIFY((*store)->addCheck({0, "1234", 600, "ND-1", 1, {}, true, "ana", {}}));
        }
        readerItems_ = readyItems();
        readerItems_.insert("Simulated", false);
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        const QJsonObject d = json("read --run RS-1 --position MON --dosimeter R1 --calibration 1");
        QCOMPARE(d["state"].toString(), QStringLiteral("valid"));
        QCOMPARE(d["flags"].toArray(), QJsonArray{});
        QCOMPARE(run("read --run RS-1 --position MON --dosimeter R1 --calibration 1"), 1);
        QVERIFY(run("verify") == 0);
    }

    // A routine job on the approved study: its read infers Dmin and Dmax, judged against the
    // study's doses; a job that does not match the study is refused with the reason.
    void routineJob() {
        QCOMPARE(run("job add RJ2 --study AS --position MON --process-value 3 "
                     "--process-unit min"),
                 1);
        QVERIFY2(err_.contains("is not study AS's"), qPrintable(err_));
        QCOMPARE(run("job add RJ2 --study TS --position MON"), 1);
        QVERIFY2(err_.contains("study TS is not approved"), qPrintable(err_));
        QCOMPARE(run("job add RJ2 --study AS"), 2);
        QCOMPARE(run("job add RJ2 --study AS --position MON --dmin 5"), 1);
        QCOMPARE(run("job add RJ --study AS --position MON"), 0);
        readerItems_ = readyItems();
        readerItems_.insert("Simulated", false);
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        const QJsonObject rec = json("read --job RJ --dosimeter M1 --calibration 1");
        const QJsonObject shown = json("job show RJ");
        QCOMPARE(shown["study"].toString(), QStringLiteral("AS"));
        QCOMPARE(shown["mapping"].toObject()["approved_by"].toString(), QStringLiteral("quality"));
        QCOMPARE(shown["mapping"].toObject()["ratio_min"].toDouble(), 1.0);
        const QJsonObject inferred = shown["inferred"].toArray().at(0).toObject();
        QCOMPARE(inferred["dosimeter"].toString(), QStringLiteral("M1"));
        QCOMPARE(inferred["dmin_kGy"].toDouble(), rec["dose_kGy"].toDouble());
        QVERIFY(inferred["U_dmin_kGy"].toDouble() > rec["U_kGy"].toDouble());
        QCOMPARE(inferred["k"].toDouble(), 2.0);
        const double dmin = inferred["dmin_kGy"].toDouble(), u = inferred["U_dmin_kGy"].toDouble();
        const QString want = dmin - u >= 5 && dmin + u <= 30 ? "pass" : "undecided";
        QVERIFY2(shown["decision"].toString().startsWith(want),
                 qPrintable(shown["decision"].toString()));
        QCOMPARE(run("job show RJ"), 0);
        QVERIFY2(out_.contains("routine: study AS (approved by quality"), qPrintable(out_));
        QVERIFY(out_.contains("record " + QString::number(rec["record"].toInt()) + " M1: "));
    }

    void textOutput() {
        QCOMPARE(run("mapping run add TS TS-2"), 0);
        readerItems_ = readyItems();
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run("read --run TS-2 --position MON --dosimeter F3 --calibration 1"), 0);
        QVERIFY2(out_.startsWith("run TS-2, position MON: dosimeter F3 (valid)\nrecorded: "),
                 qPrintable(out_));
        QVERIFY(out_.contains("flags: training, simulated\n"));
        QVERIFY(out_.contains("training study: no reader check is asked for"));
    }

    // A reader check that fails after a run's reads casts doubt on them as on a job's: each
    // read's dose gets a new version, flagged and no longer counted, which blocks approval; the
    // earlier version keeps the dose, and a second failure adds nothing.
    void aFailedCheckAfterwardsFlagsTheReads() {
        auto store = Store::open(dir_.filePath(QStringLiteral("dose.sqlite")),
                                 [this] { return now_.addSecs(600); });
        QVERIFY(store);
        auto before = (*store)->mappingStudy(QStringLiteral("RS"));
        QVERIFY(before && before->runs.at(0).doses.at(0).state == PositionState::Valid);
        QVERIFY(summarizeMapping(before->study, before->positions, before->runs)
                    .blockers.filter(QStringLiteral("RS-1"))
                    .isEmpty());
        for (int i = 0; i < 2; ++i)
            QVERIFY((*store)->addCheck({0, "1234", 600, "ND-1", 1, {}, false, "ana", {}}));
        auto after = (*store)->mappingStudy(QStringLiteral("RS"));
        QVERIFY(after);
        const PositionDose& mon = after->runs.at(0).doses.at(0);
        QCOMPARE(mon.state, PositionState::NoDose);
        QCOMPARE(mon.dosimeter, QStringLiteral("R1"));
        QVERIFY(mon.flags.contains(QStringLiteral("reader_check_failed_after")));
        QCOMPARE(after->doses.size(), size_t(2));
        QCOMPARE(after->doses.front().state, PositionState::Valid);
        const MappingSummary summary =
            summarizeMapping(after->study, after->positions, after->runs);
        QVERIFY(summary.blockers.contains(QStringLiteral("run RS-1: no valid dose or bound at "
                                                         "position MON")));
        // The run's map and the study PDF say why it has none.
        const MappingMap map =
            buildMappingMap(after->positions, after->runs, summary, QStringLiteral("RS-1"));
        QCOMPARE(map.layers.at(0).cells.at(0).text, QStringLiteral("check failed"));
        QVERIFY(map.layers.at(0).cells.at(0).hatched);
        auto report = buildStudyReport(**store, QStringLiteral("RS"), now_);
        QVERIFY2(report, qPrintable(report.error()));
        QVERIFY(report->html.contains(QLatin1String("no dose: check failed")));
        // The training study's bound is flagged too and stays a bound.
        auto training = (*store)->mappingStudy(QStringLiteral("TS"));
        QVERIFY(training);
        for (const PositionDose& d : training->runs.at(0).doses) {
            QVERIFY(d.flags.contains(QStringLiteral("reader_check_failed_after")));
            if (d.position == QLatin1String("CORNER"))
                QCOMPARE(d.state, PositionState::BelowRange);
        }
        // Imported doses were not read here and stay as they are.
        auto approved = (*store)->mappingStudy(QStringLiteral("AS"));
        QVERIFY(approved && approved->doses.size() == 3);
        QVERIFY((*store)->verify().whole);
    }
};

QTEST_GUILESS_MAIN(TestDoseMappingRead)
#include "test_dose_mapping_read.moc"
