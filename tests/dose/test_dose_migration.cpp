// Records written before schema version 3 stay as they were written: a database of the earlier
// program, doses that were not numbers included, opens, verifies and copies without a row
// rewritten; where the new rules see a stored read differently, the migration adds a version
// saying why; a failed reader check flags the reads it casts doubt on the same way.

#include "DoseFixtures.h"
#include "DoseScenario.h"
#include "FakeSigning.h"
#include "dose/cli/Cli.h"
#include "dose/core/DualRecord.h"
#include "dose/core/Fitting.h"
#include "dose/core/JobSummary.h"
#include "dose/store/Store.h"
#include "dose/usecases/UsableCalibration.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace qvr::dose;
using namespace qvr::dose::test;

namespace {

const QString kFixtureHead =
    QStringLiteral("b16e93fdf0f2aa441667289155e02f3de1d73426202d0b3812e212f04f55de7e");

// Every row of every table of a SQLite file as text, NULL told apart from "", with the columns
// the tables had when first dumped (later versions may add some).
class Dump {
public:
    QStringList rows(const QString& path) {
        const QString name = QStringLiteral("dump-%1").arg(++count_);
        QStringList out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.open();
            for (const char* table : {"ledger", "batches", "calibrations", "fits", "jobs",
                                      "records", "reviews", "reader_checks"}) {
                const QString t = QLatin1String(table);
                if (!columns_.contains(t)) {
                    QSqlQuery probe(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(t), db);
                    QStringList names;
                    for (int i = 0; i < probe.record().count(); ++i)
                        names << probe.record().fieldName(i);
                    columns_.insert(t, names);
                }
                QSqlQuery q(QStringLiteral("SELECT %1 FROM %2 ORDER BY seq")
                                .arg(columns_.value(t).join(QStringLiteral(", ")), t),
                            db);
                while (q.next()) {
                    QStringList cells{t};
                    for (int i = 0; i < q.record().count(); ++i)
                        cells << (q.isNull(i) ? QStringLiteral("NULL")
                                              : q.value(i).toString() + QLatin1Char('|') +
                                                    q.value(i).typeName());
                    out << cells.join(QLatin1Char(','));
                }
            }
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }

private:
    QMap<QString, QStringList> columns_;
    static inline int count_ = 0;
};

Now steps(QDateTime from) {
    auto t = std::make_shared<QDateTime>(from);
    return [t] { return *t = t->addSecs(60); };
}

} // namespace

class TestDoseMigration : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out_, err_;

    int run(const QString& db, const QStringList& args) {
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        CliEnv env;
        qvr::test::withFakeSigning(env);
        env.out = &out;
        env.err = &err;
        env.now = [] { return QDateTime(QDate(2026, 12, 8), QTime(9, 0), Qt::UTC); };
        env.operatorName = QStringLiteral("tester");
        env.database = db;
        return runCli(args, env);
    }

    // A copy of the committed database, which stays as it is.
    QString fixtureCopy(const QString& name) {
        const QString path = dir_.filePath(name);
        QFile::remove(path);
        if (!QFile::copy(
                QStringLiteral(QVR100_SOURCE_DIR "/tests/dose/fixtures/dose-nan-v2.sqlite"), path))
            return QString();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

private slots:
    void nanFixtureOpensVerifiesAndCopiesUnchanged() {
        const QString path = fixtureCopy(QStringLiteral("fixture.sqlite"));
        QVERIFY(!path.isEmpty());
        Dump dump;
        const QStringList before = dump.rows(path);
        QCOMPARE(before.filter(QRegularExpression(QStringLiteral("^ledger,"))).size(), 10);
        {
            SchemaChange change;
            auto store = Store::openAtVersion(path, kSchemaVersion, &change);
            QVERIFY2(store, qPrintable(store.error()));
            QCOMPARE(change.from, 2);
            QCOMPARE(change.to, kSchemaVersion);
            const ChainReport report = (*store)->verify(kFixtureHead);
            QVERIFY2(report.whole, qPrintable(report.problem));
            QCOMPARE(report.rows, 10); // nothing judged differently: no version added
            const auto d1 = (*store)->record(1);
            QVERIFY(d1 && recordValidity(*d1) == Validity::OutsideRange);
            QVERIFY(!std::isfinite(d1->result.dose));
        }
        QCOMPARE(dump.rows(path), before);

        // Every face shows the doses that were not numbers as none, never as nan or 0.
        const QRegularExpression notANumber(QStringLiteral("\\b(nan|inf|infinity)\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
        const QString csv = dir_.filePath(QStringLiteral("train-1.csv"));
        for (const QStringList& args : {QStringList{"record", "list", "--job", "TRAIN-1"},
                                        QStringList{"record", "list", "--job", "TRAIN-1", "--json"},
                                        QStringList{"record", "list", "--job", "TRAIN-1", "--csv"},
                                        QStringList{"calibration", "show", "1", "--json"},
                                        QStringList{"export", "--job", "TRAIN-1", "--csv", csv}}) {
            QCOMPARE(run(path, args), 0);
            QVERIFY2(!out_.contains(notANumber), qPrintable(out_));
        }
        QFile exported(csv);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(exported.readAll());
        QVERIFY2(!text.contains(notANumber), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral(",-2.4,,,,no,"))); // response, no dose, no U, no k
        // Its fits were never judged: judged now, they give no new dose.
        QCOMPARE(run(path, {"dose", "--calibration", "1", "--absorbance", "0.5"}), 1);
        QVERIFY2(err_.contains(QStringLiteral("stored before fits were judged")), qPrintable(err_));

        const QString copy = dir_.filePath(QStringLiteral("fixture-copy.sqlite"));
        QCOMPARE(run(path, {"db", "copy", "--from", path, "--to", copy}), 0);
        QVERIFY(out_.trimmed().endsWith(QStringLiteral("chain head ") + kFixtureHead));
        QCOMPARE(run(copy, {"verify", "--expect", kFixtureHead}), 0);
        QCOMPARE(dump.rows(copy), before);
    }

    // A database of the earlier program whose records were judged by dose: an overdosed film
    // read through a poly4 that turned back passed as valid, a blank one read as a number, and
    // a read made before a failed reader check went unflagged. Opened by this program, each
    // gets one new version saying why; the others and every earlier row stay.
    void migrationAddsVersionsWhereTheRulesDiffer() {
        const QString path = dir_.filePath(QStringLiteral("v2.sqlite"));
        std::mt19937 random(2);
        std::normal_distribution<double> noise(0, 0.01);
        Calibration c;
        c.batchId = QStringLiteral("LOT-B");
        c.headSerial = QStringLiteral("1234");
        c.wavelengthNm = 600;
        auto nearLinear = [](double d) { return 2 * d * (1 - 0.01 * d); };
        for (double d : {1.0, 1.6, 2.5, 4.0, 6.3, 10.0})
            for (int r = 0; r < 3; ++r)
                c.points.push_back({QString(), d, 1.2, nearLinear(d) * (1 + noise(random)), 1000});
        const Job job{QStringLiteral("J"),
                      {},
                      5.0,
                      30.0,
                      true,
                      QStringLiteral("ana"),
                      {},
                      DecisionRule::Guarded,
                      true,
                      false,
                      {},
                      {},
                      0,
                      {}};
        QString headBefore;
        {
            auto opened = Store::openAtVersion(
                path, 2, nullptr, steps(QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC)));
            QVERIFY2(opened, qPrintable(opened.error()));
            Store& store = **opened;
            Batch lot;
            lot.id = c.batchId;
            lot.thicknessUm = 1000;
            lot.background = {{600, 0.0}};
            QVERIFY(store.addBatch(lot));
            auto cal = store.addCalibration(c);
            QVERIFY(cal);
            c.id = cal->id;
            auto fit = fitCalibration(c, Model::Poly4, false);
            QVERIFY2(fit, qPrintable(fit.error()));
            fit->budget = 1; // as the earlier program made it
            auto storedFit = store.addFit(*fit);
            QVERIFY(storedFit);
            fit->id = storedFit->id;
            QVERIFY(store.addJob(job));
            ReaderCheck pass{0, c.headSerial, 600, QStringLiteral("ND"), 1, {}, true, {}, {}};
            QVERIFY(store.addCheck(pass));
            // What the earlier program stored: the curve's value, called valid when it lay
            // within 1 to 10 kGy.
            auto asOld = [&](const QString& id, double absorbance) {
                Record r;
                r.jobId = job.id;
                r.dosimeter = id;
                r.calibrationId = c.id;
                r.fitId = fit->id;
                r.batchId = c.batchId;
                r.wavelengthNm = 600;
                r.headSerial = c.headSerial;
                r.readAt = store.clock()();
                r.readings = {{r.readAt, absorbance}};
                r.absorbance = absorbance;
                r.thicknessUm = 1000;
                r.result.response = absorbance;
                r.result.dose = fit->dose(absorbance);
                r.result.expanded = 0.05 * r.result.dose;
                r.result.components = {1, 1.2, 1, 0, 0.1};
                r.result.inRange = r.result.dose >= 1 && r.result.dose <= 10;
                r.flags = {QStringLiteral("training")};
                if (!r.result.inRange)
                    r.flags << QStringLiteral("outside_range");
                return store.addRecord(r);
            };
            QVERIFY(asOld(QStringLiteral("OK"), nearLinear(5)));
            QVERIFY(asOld(QStringLiteral("OVER"), nearLinear(15.9))); // the curve turned back
            QVERIFY(asOld(QStringLiteral("BLANK"), -0.02));
            QVERIFY2(store.record(2)->result.inRange,
                     "the overdose must have read as valid for this test to mean anything");
            ReaderCheck fail{0, c.headSerial, 600, QStringLiteral("ND"), 1, {}, false, {}, {}};
            QVERIFY(store.addCheck(fail));                      // after all three reads
            QCOMPARE(store.records(job.id)->size(), size_t(3)); // an earlier program flags none
            headBefore = *store.headHash();
        }
        Dump dump;
        const QStringList before = dump.rows(path);
        {
            auto opened = Store::open(path);
            QVERIFY2(opened, qPrintable(opened.error()));
            Store& store = **opened;
            const ChainReport report = store.verify(headBefore);
            QVERIFY2(report.whole, qPrintable(report.problem));
            const auto all = store.records(job.id);
            QVERIFY(all);
            QCOMPARE(all->size(), size_t(6)); // each read once more: the failed check
            const std::vector<Record> latest = latestVersions(*all);
            QCOMPARE(latest.size(), size_t(3));
            for (const Record& r : latest) {
                QCOMPARE(r.version, 2);
                QVERIFY(r.flags.contains(kCheckFailedAfter));
                QVERIFY2(r.reason.contains(QStringLiteral("reader check 2 of head 1234 at 600 nm "
                                                          "failed after this read")),
                         qPrintable(r.reason));
            }
            const Record& over = latest[1];
            QVERIFY2(over.reason.startsWith(QStringLiteral("validity re-judged by response; ")),
                     qPrintable(over.reason));
            QCOMPARE(int(recordValidity(over)), int(Validity::AboveRange));
            QVERIFY(!std::isfinite(over.result.dose));
            QVERIFY(!latest[0].reason.contains(QStringLiteral("validity")));
            QVERIFY(!latest[2].reason.contains(QStringLiteral("validity"))); // invalid either way
            QCOMPARE(int(summarize(job, *all).decision), int(Decision::NoValidRead));
        }
        const QStringList after = dump.rows(path);
        for (const QString& row : before)
            QVERIFY2(after.contains(row), qPrintable(row));
        QCOMPARE(after.size(), before.size() + 6); // three versions and their ledger rows
        // Opened again, nothing more to add.
        auto again = Store::open(path);
        QVERIFY(again);
        QCOMPARE((*again)->records(job.id)->size(), size_t(6));
    }

    // The budget step: a fit and a record of schema 3 keep their rows and text (budget 1, k =
    // 2); a fit made after it keeps its reproducibility model, and a record through it its k
    // and degrees of freedom, both read back as written.
    void budgetStepKeepsEarlierRowsAndStoresTheNewOnes() {
        const QString path = dir_.filePath(QStringLiteral("v3.sqlite"));
        std::mt19937 random(3);
        std::normal_distribution<double> noise(0, 1);
        Calibration c;
        c.batchId = QStringLiteral("LOT-C");
        c.headSerial = QStringLiteral("1234");
        c.wavelengthNm = 600;
        for (double d : {1.0, 1.6, 2.5, 4.0, 6.3, 10.0})
            for (int r = 0; r < 4; ++r)
                c.points.push_back({QString(), d, 1.5,
                                    2 * d * (1 + noise(random) * std::hypot(0.01, 0.03 / d)), 1000,
                                    0.002});
        const Job job{QStringLiteral("J"),
                      {},
                      2.0,
                      30.0,
                      true,
                      QStringLiteral("ana"),
                      {},
                      DecisionRule::Guarded,
                      true,
                      false,
                      {},
                      {},
                      0,
                      {}};
        auto recordThrough = [&](Store& store, const Fit& fit, const QString& id) {
            Record r;
            r.jobId = job.id;
            r.dosimeter = id;
            r.calibrationId = c.id;
            r.fitId = fit.id;
            r.batchId = c.batchId;
            r.wavelengthNm = 600;
            r.headSerial = c.headSerial;
            r.readAt = store.clock()();
            r.readings = {{r.readAt, 6.0}, {r.readAt, 6.01}, {r.readAt, 5.99}};
            r.thicknessUm = 1000;
            r.thicknessMeasured = true;
            evaluateRecord(r, fit, job, c);
            return r;
        };
        Fit old;
        {
            auto opened = Store::openAtVersion(
                path, 3, nullptr, steps(QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC)));
            QVERIFY2(opened, qPrintable(opened.error()));
            Store& store = **opened;
            Batch lot;
            lot.id = c.batchId;
            lot.thicknessUm = 1000;
            lot.background = {{600, 0.0}};
            QVERIFY(store.addBatch(lot));
            c.id = store.addCalibration(c)->id;
            old = *fitCalibration(c, Model::Poly2, false);
            old.budget = 1;
            old.id = store.addFit(old)->id;
            QVERIFY(store.addJob(job));
            const Record r = recordThrough(store, old, QStringLiteral("OLD"));
            QCOMPARE(r.result.coverage, 2.0);
            QVERIFY(store.addRecord(r));
        }
        Dump dump;
        const QStringList before = dump.rows(path);
        auto opened = Store::open(path);
        QVERIFY2(opened, qPrintable(opened.error()));
        Store& store = **opened;
        QCOMPARE(*store.schemaVersion(), kSchemaVersion);
        QVERIFY(store.verify().whole);
        QCOMPARE(store.fit(old.id)->budget, 1);
        QCOMPARE(store.record(1)->result.budget, 1);

        Fit now = *fitCalibration(c, Model::Poly2, true);
        QVERIFY(now.reproducibility.byDose);
        now.id = store.addFit(now)->id;
        const auto back = store.fit(now.id);
        QVERIFY(back);
        QCOMPARE(budgetText(*back), budgetText(now));
        QCOMPARE(back->reproducibility.cvAt(1.3), now.reproducibility.cvAt(1.3));
        QCOMPARE(back->referencePercentAt(3), now.referencePercentAt(3));
        const Record r = recordThrough(store, *back, QStringLiteral("NEW"));
        QCOMPARE(r.result.budget, 2);
        QVERIFY(r.result.coverage > 2);
        const auto stored = store.addRecord(r);
        QVERIFY(stored);
        const auto again = store.record(stored->id);
        QCOMPARE(again->result.coverage, r.result.coverage);
        QCOMPARE(again->result.dof, r.result.dof);
        const ChainReport report = store.verify();
        QVERIFY2(report.whole, qPrintable(report.problem));
        const QStringList after = dump.rows(path);
        for (const QString& row : before)
            QVERIFY2(after.contains(row), qPrintable(row));
    }

    // From the step that links calibrations of the same films, a pair names its first; the
    // calibrations written before keep their rows and text, and a copy carries the link.
    void sameFilmsStepKeepsEarlierCalibrations() {
        const QString path = dir_.filePath(QStringLiteral("v4-pairs.sqlite"));
        Calibration c;
        c.batchId = QStringLiteral("LOT-W");
        c.headSerial = QStringLiteral("1234");
        c.wavelengthNm = 600;
        c.points = {{QStringLiteral("F1"), 5, 1.5, 0.3, 50, 0},
                    {QStringLiteral("F2"), 10, 1.5, 0.6, 50, 0}};
        Calibration at510 = c;
        at510.wavelengthNm = 510;
        {
            auto opened = Store::openAtVersion(
                path, 4, nullptr, steps(QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC)));
            QVERIFY2(opened, qPrintable(opened.error()));
            Store& store = **opened;
            Batch lot;
            lot.id = c.batchId;
            lot.thicknessUm = 50;
            lot.background = {{510, 0.0}, {600, 0.0}};
            QVERIFY(store.addBatch(lot));
            QVERIFY(store.addCalibration(c));
            const auto refused = store.addCalibrations({c, at510});
            QVERIFY(!refused);
            QVERIFY2(refused.error().contains(QLatin1String("cannot link")),
                     qPrintable(refused.error()));
            QCOMPARE(store.calibrations()->size(), size_t(1));
        }
        Dump dump;
        const QStringList before = dump.rows(path);
        {
            auto opened = Store::open(path);
            QVERIFY2(opened, qPrintable(opened.error()));
            Store& store = **opened;
            const auto pair = store.addCalibrations({c, at510});
            QVERIFY2(pair, qPrintable(pair.error()));
            QCOMPARE(pair->size(), size_t(2));
            QCOMPARE(store.calibration(1)->sameFilmsAs, 0);
            QCOMPARE(store.calibration(2)->sameFilmsAs, 0);
            QCOMPARE(store.calibration(3)->sameFilmsAs, 2);
            QCOMPARE(store.calibration(3)->wavelengthNm, 510);
            QVERIFY(!store.calibration(1)->canonical().contains(QLatin1String("same_films_as")));
            QVERIFY(store.calibration(3)->canonical().contains(QLatin1String("same_films_as")));
            const ChainReport report = store.verify();
            QVERIFY2(report.whole, qPrintable(report.problem));
            QCOMPARE(report.rows, 4);
        }
        const QStringList after = dump.rows(path);
        for (const QString& row : before)
            QVERIFY2(after.contains(row), qPrintable(row));

        const QString copy = dir_.filePath(QStringLiteral("v7-copy.sqlite"));
        QCOMPARE(run(path, {"db", "copy", "--from", path, "--to", copy}), 0);
        QCOMPARE(run(copy, {"verify"}), 0);
        auto copied = Store::open(copy);
        QVERIFY2(copied, qPrintable(copied.error()));
        QCOMPARE((*copied)->calibration(3)->sameFilmsAs, 2);
    }

    // Reads at both wavelengths: rows of schema 7 keep their text; a job that reads both and a
    // record with its second read (one agreeing, one disagreeing with no dose) read back as
    // stored, verify, and copy.
    void dualStepKeepsEarlierRowsAndCopiesTheSecondRead() {
        const QString path = dir_.filePath(QStringLiteral("v7.sqlite"));
        qvr::test::DoseScenario s;
        {
            auto opened = Store::openAtVersion(path, 7, nullptr, qvr::test::steppedClock());
            QVERIFY2(opened, qPrintable(opened.error()));
            auto seeded = qvr::test::seedStore(**opened);
            QVERIFY2(seeded, qPrintable(seeded.error()));
            s = *seeded;
            QVERIFY(qvr::test::addScenarioRecord(**opened, s, 0));
        }
        Dump dump;
        const QStringList before = dump.rows(path);
        auto opened = Store::open(path, qvr::test::steppedClock());
        QVERIFY2(opened, qPrintable(opened.error()));
        Store& store = **opened;
        QVERIFY(store.verify().whole);
        QCOMPARE(dump.rows(path), before);
        QVERIFY(!store.job(s.job.id)->bothWavelengths);

        Job both = s.job;
        both.id = QStringLiteral("J-8");
        both.bothWavelengths = true;
        QVERIFY(store.addJob(both));
        QVERIFY(store.job(both.id)->bothWavelengths);
        QVERIFY(
            store.job(both.id)->canonical().contains(QLatin1String("\"wavelengths\":\"both\"")));
        QVERIFY(!store.job(s.job.id)->canonical().contains(QLatin1String("wavelengths")));
        QString head;
        for (double factor : {1.0, 1.3}) {
            Record r = qvr::test::scenarioRecord(store, s, 1);
            r.jobId = both.id;
            SecondRead second;
            second.wavelengthNm = 600;
            second.calibrationId = s.calibration.id;
            second.calibrationVersion = 1;
            second.fitId = s.fit.id;
            for (const Reading& x : r.readings)
                second.readings.push_back(
                    {x.at.addSecs(5),
                     s.calibration.a0 + (x.absorbance - s.calibration.a0) * factor});
            second.zeroText = QStringLiteral("1.2345");
            second.a0 = s.calibration.a0;
            r.second = second;
            const auto stored = store.addRecord(r, [&](Record& x) {
                evaluateDualRecord(x, both, s.calibration, s.fit, s.calibration, s.fit);
                r = x;
            });
            QVERIFY2(stored, qPrintable(stored.error()));
            head = stored->hash;
            const auto back = store.record(stored->id);
            QVERIFY(back && back->second);
            QCOMPARE(back->canonical(), r.canonical());
            QCOMPARE(back->second->readings.size(), size_t(3));
            QCOMPARE(back->second->readings[2].at, second.readings[2].at);
            QCOMPARE(back->second->outcome, r.second->outcome);
            QCOMPARE(back->flags.contains(kWavelengthMismatch), factor > 1);
            QCOMPARE(std::isfinite(back->result.dose), factor == 1.0);
        }
        const ChainReport report = store.verify(head);
        QVERIFY2(report.whole, qPrintable(report.problem));
        const QStringList after = dump.rows(path);
        for (const QString& row : before)
            QVERIFY2(after.contains(row), qPrintable(row));

        const QString copy = dir_.filePath(QStringLiteral("v8-copy.sqlite"));
        QCOMPARE(run(path, {"db", "copy", "--from", path, "--to", copy}), 0);
        QCOMPARE(run(copy, {"verify", "--expect", head}), 0);
        auto copied = Store::open(copy);
        QVERIFY(copied);
        QVERIFY((*copied)->job(both.id)->bothWavelengths);
        const auto records = (*copied)->records(both.id);
        QVERIFY(records && records->size() == 2);
        QVERIFY(records->back().second.has_value());
    }

    // Later versions: rows of schema 4 keep their text; a calibration and a batch amended
    // after it are read at their latest version, a read takes the versions and A0 it used, a
    // read made before keeps none, and a copy carries the versions.
    void versionStepKeepsEarlierRowsAndCopiesTheVersions() {
        const QString path = dir_.filePath(QStringLiteral("v4.sqlite"));
        qvr::test::DoseScenario s;
        {
            auto opened = Store::openAtVersion(path, 4, nullptr, qvr::test::steppedClock());
            QVERIFY2(opened, qPrintable(opened.error()));
            auto seeded = qvr::test::seedStore(**opened);
            QVERIFY2(seeded, qPrintable(seeded.error()));
            s = *seeded;
            QVERIFY(qvr::test::addScenarioRecord(**opened, s, 0));
            Amendment early;
            early.subject = kCalibrationSubject;
            early.subjectId = QString::number(s.calibration.id);
            early.certificate = QStringLiteral("C-2");
            early.reason = QStringLiteral("too early");
            const auto tooEarly = (*opened)->amend(early);
            QVERIFY2(!tooEarly && tooEarly.error().contains(QStringLiteral("db migrate")),
                     qPrintable(tooEarly ? QStringLiteral("stored") : tooEarly.error()));
        }
        Dump dump;
        const QStringList before = dump.rows(path);
        auto opened = Store::open(path, qvr::test::steppedClock());
        QVERIFY2(opened, qPrintable(opened.error()));
        Store& store = **opened;
        QVERIFY(store.verify().whole);
        QCOMPARE(dump.rows(path), before);

        Amendment batchLater;
        batchLater.subject = kBatchSubject;
        batchLater.subjectId = s.batch.id;
        batchLater.background = {{510, 0.104}};
        batchLater.uBackground = {{510, 0.003}};
        batchLater.reason = QStringLiteral("background measured again");
        QCOMPARE(store.amend(batchLater)->id, 2);
        Amendment calibrationLater;
        calibrationLater.subject = kCalibrationSubject;
        calibrationLater.subjectId = QString::number(s.calibration.id);
        calibrationLater.validUntil = QDate(2031, 1, 1);
        calibrationLater.reason = QStringLiteral("validity extended");
        QVERIFY(store.amend(calibrationLater));
        calibrationLater.certificate = QStringLiteral("CERT-18/2026");
        QCOMPARE(store.amend(calibrationLater)->id, 3);

        const Usable use{*store.calibration(s.calibration.id), *store.fit(s.fit.id),
                         *store.batch(s.batch.id)};
        QCOMPARE(use.calibration.version, 3);
        QCOMPARE(use.calibration.certificate, QStringLiteral("CERT-18/2026"));
        QCOMPARE(use.calibration.validUntil, QDate(2031, 1, 1));
        QCOMPARE(use.calibration.a0, 0.1); // the calibration's own, as imported
        Record r = qvr::test::scenarioRecord(store, s, 1);
        takeCalibration(r, use);
        QCOMPARE(r.a0, 0.104);
        QCOMPARE(r.uA0, 0.003);
        evaluateRecord(r, s.fit, s.job, use.calibration);
        QVERIFY(r.result.components.background > 0);
        const auto stored = store.addRecord(r);
        QVERIFY2(stored, qPrintable(stored.error()));
        const auto back = store.record(stored->id);
        QCOMPARE(back->calibrationVersion, 3);
        QCOMPARE(back->batchVersion, 2);
        QCOMPARE(store.record(1)->calibrationVersion, 0);
        const ChainReport report = store.verify(stored->hash);
        QVERIFY2(report.whole, qPrintable(report.problem));
        const QStringList after = dump.rows(path);
        for (const QString& row : before)
            QVERIFY2(after.contains(row), qPrintable(row));

        const QString copy = dir_.filePath(QStringLiteral("v5-copy.sqlite"));
        QCOMPARE(run(path, {"db", "copy", "--from", path, "--to", copy}), 0);
        QCOMPARE(run(copy, {"verify", "--expect", stored->hash}), 0);
        auto copied = Store::open(copy);
        QVERIFY(copied);
        QCOMPARE((*copied)->calibration(s.calibration.id)->amendments.size(), size_t(2));
        QCOMPARE((*copied)->batch(s.batch.id)->uA0(510), 0.003);
    }

    // Reads of the head at the wavelength since the last passing check get a flagged version
    // when a check fails; a read before that check, and one at another wavelength, do not.
    void failedCheckFlagsTheReadsSinceThePassingOne() {
        const QString path = dir_.filePath(QStringLiteral("checks.sqlite"));
        auto opened = Store::open(path, steps(QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC)));
        QVERIFY2(opened, qPrintable(opened.error()));
        Store& store = **opened;
        QVERIFY(store.addJob({QStringLiteral("J"),
                              {},
                              {},
                              {},
                              true,
                              {},
                              {},
                              DecisionRule::Guarded,
                              true,
                              false,
                              {},
                              {},
                              0,
                              {}}));
        auto read = [&](const QString& id, int nm) {
            Record r;
            r.jobId = QStringLiteral("J");
            r.dosimeter = id;
            r.batchId = QStringLiteral("B1");
            r.headSerial = QStringLiteral("1234");
            r.wavelengthNm = nm;
            r.readAt = store.clock()();
            r.result = {10, 5, 0.3, {1, 1, 1, 1, 1}, kCoverage, 0, 1, true, Validity::Valid, {}};
            return bool(store.addRecord(r));
        };
        auto check = [&](bool passed) {
            return store.addCheck(
                {0, QStringLiteral("1234"), 600, QStringLiteral("ND"), 1, {}, passed, {}, {}});
        };
        QVERIFY(read(QStringLiteral("BEFORE"), 600));
        QVERIFY(check(true));
        QVERIFY(read(QStringLiteral("AFTER"), 600));
        QVERIFY(read(QStringLiteral("OTHER-WL"), 510));
        const auto failed = check(false);
        QVERIFY(failed);
        QCOMPARE(failed->hash, *store.headHash()); // the flags are written with the check
        const auto all = store.records(QStringLiteral("J"));
        QVERIFY(all);
        QStringList flagged;
        for (const Record& r : latestVersions(*all))
            if (r.flags.contains(kCheckFailedAfter))
                flagged << r.dosimeter;
        QCOMPARE(flagged, QStringList{QStringLiteral("AFTER")});
        const Record after = *store.record(2);
        QCOMPARE(after.version, 2);
        QVERIFY(!countsInMean(after));
        QVERIFY(store.verify().whole);
    }
};

QTEST_GUILESS_MAIN(TestDoseMigration)
#include "test_dose_migration.moc"
