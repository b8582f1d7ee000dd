// A mapping study kept in the store on both databases: rows of the earlier schema verify
// unchanged after the step that adds mapping, the study's rows chain to the same hashes on
// SQLite and PostgreSQL, copy and read back as written, and approval needs a second person and
// a study without blockers.

#include "DoseRoles.h"
#include "DoseScenario.h"
#include "FakeSigning.h"
#include "MappingStore.h"
#include "PgServer.h"
#include "dose/cli/Cli.h"
#include "dose/core/MappingSummary.h"
#include "dose/core/MappingText.h"
#include "dose/core/RoutineJob.h"
#include "dose/usecases/JobReport.h"
#include "dose/usecases/MappingImport.h"
#include "dose/usecases/RecordsCsv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace qvr;
using namespace qvr::dose;
using qvr::test::kApprover;
using qvr::test::kMaker;
using qvr::test::storeProduct;

namespace {

// A valid dose at the monitoring position as a read through the reader stores it.
PositionDose readDose(const QString& run) {
    PositionDose d;
    d.runId = run;
    d.position = test::kMonitor;
    d.dosimeter = run + QStringLiteral("/F");
    d.state = PositionState::Valid;
    d.doseKGy = 27.25;
    d.expanded = 1.5;
    d.coverage = 2.03;
    d.systematicRel = 0.012;
    d.randomRel = 0.02;
    d.operatorName = kMaker;
    d.calibrationId = 3;
    d.calibrationVersion = 2;
    d.fitId = 5;
    d.batchVersion = 1;
    const QDateTime at(QDate(2026, 12, 7), QTime(9, 1, 2, 345), Qt::UTC);
    d.readings = {{at, 1.01}, {at.addMSecs(1500), 1.0125}};
    d.flags = {QStringLiteral("training"), QStringLiteral("simulated")};
    return d;
}

// The product stored, its invalid read read again and the study approved: ready for routine use.
Outcome<Done> storeApprovedProduct(Store& store) {
    if (auto r = storeProduct(store, test::syntheticProduct()); !r)
        return r;
    PositionDose again;
    again.runId = QStringLiteral("R2");
    again.position = test::kInvalid;
    again.dosimeter = QStringLiteral("R2/again");
    again.state = PositionState::Valid;
    again.doseKGy = test::fieldDose(1, test::kInvalid);
    again.expanded = 0.04 * again.doseKGy;
    again.randomRel = test::kRandom;
    again.systematicRel = test::kSystematic;
    again.operatorName = kMaker;
    if (auto r = store.addMappingDoses({again}); !r)
        return Failure{r.error()};
    MappingApproval a;
    a.studyId = QStringLiteral("S1");
    a.approved = true;
    a.approver = kApprover;
    if (auto r = store.addMappingApproval(a); !r)
        return Failure{r.error()};
    return Done{};
}

Job routineJob(const QString& id) {
    Job j;
    j.id = id;
    j.studyId = QStringLiteral("S1");
    j.monitoringPosition = test::kMonitor;
    j.processValue = 12.5;
    j.processUnit = QStringLiteral("min");
    j.operatorName = kMaker;
    return j;
}

// A valid read of job at the monitoring position with the dose and U given.
Outcome<Receipt> addRoutineRead(Store& store, const test::DoseScenario& s, const QString& job,
                                double dose, double expanded) {
    Record r = test::scenarioRecord(store, s, 1);
    r.jobId = job;
    r.result.dose = dose;
    r.result.expanded = expanded;
    r.result.coverage = 2;
    r.result.inRange = true;
    r.result.validity = Validity::Valid;
    return store.addRecord(r);
}

// A read of job below the calibrated range: a bound, no dose.
Outcome<Receipt> addBelowRangeRead(Store& store, const test::DoseScenario& s, const QString& job) {
    Record r = test::scenarioRecord(store, s, 2);
    r.jobId = job;
    r.result.dose = NAN;
    r.result.expanded = NAN;
    r.result.validity = Validity::BelowRange;
    r.flags << validityFlag(Validity::BelowRange);
    return store.addRecord(r);
}

// The command line on the database at path, as kMaker; its standard output.
QString cliOutput(const QString& path, const QStringList& args) {
    QString out, err;
    QTextStream o(&out), e(&err);
    CliEnv env;
    env.out = &o;
    env.err = &e;
    env.now = test::steppedClock();
    env.operatorName = kMaker;
    env.database = path;
    if (runCli(args, env) != 0)
        qWarning("%s: %s", qPrintable(args.join(' ')), qPrintable(err));
    return out;
}

MappingApproval approval(const QString& who) {
    MappingApproval a;
    a.studyId = QStringLiteral("S1");
    a.approved = true;
    a.approver = who;
    return a;
}

} // namespace

class TestDoseMappingStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (test::PgServer::missing().isEmpty()) {
            server_ = std::make_unique<test::PgServer>();
            QVERIFY2(server_->start(), qPrintable(server_->error()));
        }
    }

    void studyChainsTheSameOnBothDatabases() {
        if (!server_)
            QSKIP(qPrintable(test::PgServer::missing()));
        QTemporaryDir dir;
        const QString url = newDatabase();
        QVERIFY(!url.isEmpty());
        QStringList heads;
        for (const QString& location : {dir.filePath(QStringLiteral("dose.sqlite")), url}) {
            // A database of the schema before mapping, with a day's records in it.
            QString before;
            {
                auto old = Store::openAtVersion(location, 4, nullptr, test::steppedClock());
                QVERIFY2(old, qPrintable(old.error()));
                auto s = test::seedStore(**old);
                QVERIFY2(s, qPrintable(s.error()));
                auto r = test::addScenarioRecord(**old, *s, 1);
                QVERIFY2(r, qPrintable(r.error()));
                before = r->hash;
            }
            // The study stored before reads were kept verifies unchanged after.
            const test::Product p = test::syntheticProduct();
            {
                auto mapped = Store::openAtVersion(location, 7, nullptr, test::steppedClock());
                QVERIFY2(mapped, qPrintable(mapped.error()));
                QVERIFY((*mapped)->verify(before).whole);
                auto stored = storeProduct(**mapped, p);
                QVERIFY2(stored, qPrintable(stored.error()));
                before = *(*mapped)->headHash();
                PositionDose read = readDose(QStringLiteral("R1"));
                auto early = (*mapped)->addMappingDoses({read});
                QVERIFY(!early);
                QVERIFY2(early.error().contains(QLatin1String("db migrate")),
                         qPrintable(early.error()));
            }
            auto store = Store::open(location, test::steppedClock());
            QVERIFY2(store, qPrintable(store.error()));
            QCOMPARE(*(*store)->schemaVersion(), kSchemaVersion);
            QVERIFY((*store)->verify(before).whole);
            auto back = (*store)->mappingStudy(QStringLiteral("S1"));
            QVERIFY2(back, qPrintable(back.error()));
            QCOMPARE(back->study.product, QStringLiteral("Syringes \"5 mL\" – 𝔸 ×50\tboxed"));
            QCOMPARE(back->positions.size(), p.positions.size());
            QCOMPARE(*back->positions.front().xMm, 100.25);
            QVERIFY(!back->positions.front().yMm);
            QCOMPARE(back->runs.size(), size_t(3));
            // What the store gives back summarises as what was put in.
            const MappingSummary want = summarizeMapping(p.study, p.positions, p.runs);
            const MappingSummary got = summarizeMapping(back->study, back->positions, back->runs);
            QCOMPARE(got.dmin->position, want.dmin->position);
            QCOMPARE(got.dmin->doseKGy, want.dmin->doseKGy);
            QCOMPARE(got.ratios.at(0).uMax, want.ratios.at(0).uMax);
            QCOMPARE(got.blockers, want.blockers);

            // A dose read through the reader keeps what it was read with.
            MappingRun fourth;
            fourth.id = QStringLiteral("R4");
            fourth.studyId = QStringLiteral("S1");
            fourth.operatorName = kMaker;
            QVERIFY((*store)->addMappingRun(fourth));
            QVERIFY((*store)->addMappingDoses({readDose(QStringLiteral("R4"))}));
            QVERIFY(!(*store)->addMappingDoses({readDose(QStringLiteral("R4"))}));
            const PositionDose want4 = readDose(QStringLiteral("R4"));
            auto with4 = (*store)->mappingStudy(QStringLiteral("S1"));
            QVERIFY(with4);
            const auto at4 = std::find_if(with4->doses.begin(), with4->doses.end(),
                                          [](const PositionDose& d) { return d.runId == "R4"; });
            QVERIFY(at4 != with4->doses.end());
            const PositionDose got4 = *at4;
            QCOMPARE(got4.calibrationId, want4.calibrationId);
            QCOMPARE(got4.calibrationVersion, 2);
            QCOMPARE(got4.fitId, qint64(5));
            QCOMPARE(got4.batchVersion, 1);
            QCOMPARE(got4.readings.size(), size_t(2));
            QCOMPARE(got4.readings.back().absorbance, 1.0125);
            QCOMPARE(got4.readings.back().at, want4.readings.back().at);
            QCOMPARE(got4.flags, want4.flags);

            const ChainReport report = (*store)->verify();
            QVERIFY2(report.whole, qPrintable(report.problem));
            heads << report.headHash;

            // A copy carries every mapping row with its hash.
            auto target =
                Store::open(dir.filePath(QStringLiteral("copy%1.sqlite").arg(heads.size())));
            QVERIFY(target);
            auto copied = (*store)->copyInto(**target);
            QVERIFY2(copied, qPrintable(copied.error()));
            QCOMPARE(copied->headHash, report.headHash);
            auto again = (*target)->mappingStudy(QStringLiteral("S1"));
            QVERIFY(again && again->runs.size() == 4 && again->doses.size() == 82);
            QVERIFY(
                std::any_of(again->doses.begin(), again->doses.end(), [&](const PositionDose& d) {
                    return d.canonical() == got4.canonical();
                }));
        }
        QCOMPARE(heads.at(1), heads.at(0));
    }

    // Approval: never by the maker, never with a blocker; a dose read again for the invalid
    // read clears it; once approved, the study takes no more runs.
    void approvalNeedsASecondPersonAndNoBlocker() {
        QTemporaryDir dir;
        auto store = Store::open(dir.filePath(QStringLiteral("dose.sqlite")), test::steppedClock());
        QVERIFY(store);
        const test::Product p = test::syntheticProduct();
        QVERIFY(storeProduct(**store, p));
        auto byMaker = (*store)->addMappingApproval(approval(kMaker));
        QVERIFY(!byMaker);
        QVERIFY2(byMaker.error().contains(QLatin1String("another login must approve")),
                 qPrintable(byMaker.error()));
        auto blocked = (*store)->addMappingApproval(approval(kApprover));
        QVERIFY(!blocked);
        QVERIFY2(blocked.error().contains(QLatin1String("run R2: no valid dose or bound at "
                                                        "position L2-C1")),
                 qPrintable(blocked.error()));

        PositionDose reread;
        reread.runId = QStringLiteral("R2");
        reread.position = test::kInvalid;
        reread.dosimeter = QStringLiteral("R2/L2-C1b");
        reread.state = PositionState::Valid;
        reread.doseKGy = 30.1;
        reread.expanded = 1.2;
        reread.randomRel = 0.015;
        reread.imported = true;
        reread.source = QStringLiteral("alanine, lab X");
        reread.operatorName = QStringLiteral("second reader");
        QVERIFY((*store)->addMappingDoses({reread}));
        // The reader of the later dose made part of the study too.
        QVERIFY(!(*store)->addMappingApproval(approval(QStringLiteral("second reader"))));
        auto approved = (*store)->addMappingApproval(approval(kApprover));
        QVERIFY2(approved, qPrintable(approved.error()));
        QVERIFY(!(*store)->addMappingApproval(approval(kApprover)));

        MappingRun late;
        late.id = QStringLiteral("R4");
        late.studyId = QStringLiteral("S1");
        late.operatorName = kMaker;
        QVERIFY(!(*store)->addMappingRun(late));
        auto study = (*store)->mappingStudy(QStringLiteral("S1"));
        QVERIFY(study && isApproved(study->approvals));
        QCOMPARE(study->approvals.back().chainHead.size(), 64);
        QVERIFY((*store)->verify(approved->hash).whole);
    }

    // Each routine read infers Dmin and Dmax through the study's ratios, worked out here from
    // the field itself, and the job's decision is the guarded rule's on them.
    void routineReadsInferAndDecide_data() {
        QTest::addColumn<double>("monitoring");
        QTest::addColumn<QString>("decision");
        QTest::newRow("pass") << 35.0 << "pass";
        QTest::newRow("fail on Dmin") << 25.0 << "fail";
        QTest::newRow("fail on Dmax") << 48.0 << "fail";
        QTest::newRow("undecided at Dmin") << 29.0 << "undecided";
    }
    void routineReadsInferAndDecide() {
        QFETCH(double, monitoring);
        QFETCH(QString, decision);
        QTemporaryDir dir;
        auto store = Store::open(dir.filePath(QStringLiteral("dose.sqlite")), test::steppedClock());
        QVERIFY(store);
        auto seeded = test::seedStore(**store);
        QVERIFY2(seeded, qPrintable(seeded.error()));
        auto ready = storeApprovedProduct(**store);
        QVERIFY2(ready, qPrintable(ready.error()));
        auto added = (*store)->addJob(routineJob(QStringLiteral("ROUTINE")));
        QVERIFY2(added, qPrintable(added.error()));
        const double u = 0.05 * monitoring;
        QVERIFY(addRoutineRead(**store, *seeded, QStringLiteral("ROUTINE"), monitoring, u));
        QVERIFY(addBelowRangeRead(**store, *seeded, QStringLiteral("ROUTINE")));

        auto job = (*store)->job(QStringLiteral("ROUTINE"));
        QVERIFY(job && job->routine());
        auto study = (*store)->mappingStudy(QStringLiteral("S1"));
        auto records = (*store)->records(QStringLiteral("ROUTINE"));
        QVERIFY(study && records);
        const RoutineSummary r = summarizeRoutine(*job, *study, *records);
        QCOMPARE(r.reads.size(), size_t(1));
        double minSum = 0, maxSum = 0;
        for (int run = 0; run < 3; ++run) {
            minSum += test::fieldDose(run, test::kMin) / test::fieldDose(run, test::kMonitor);
            maxSum += test::fieldDose(run, test::kMax) / test::fieldDose(run, test::kMonitor);
        }
        const InferredDoses& d = r.reads.front().inferred;
        QVERIFY(std::abs(d.dminKGy - minSum / 3 * monitoring) < 1e-9);
        QVERIFY(std::abs(d.dmaxKGy - maxSum / 3 * monitoring) < 1e-9);
        QVERIFY(d.uDminKGy > 2 * 0.025 * d.dminKGy); // the monitoring dose's U and the ratio's
        QVERIFY2(decisionWords(r.decision).startsWith(decision),
                 qPrintable(decisionWords(r.decision)));
        QCOMPARE(r.approval.approver, kApprover);
        QVERIFY((*store)->verify().whole);

        // The outputs quote the monitoring position's ratios and the same inferred doses; the
        // below-range read infers nothing and says why.
        const QJsonArray listed =
            QJsonDocument::fromJson(cliOutput(dir.filePath(QStringLiteral("dose.sqlite")),
                                              {"record", "list", "--job", "ROUTINE", "--json"})
                                        .toUtf8())
                .array();
        QCOMPARE(listed.size(), 2);
        const QJsonObject valid = listed.at(0)["inferred"].toObject();
        QCOMPARE(valid["study"].toString(), QStringLiteral("S1"));
        QCOMPARE(valid["position"].toString(), test::kMonitor);
        QCOMPARE(valid["ratio_min"].toDouble(), r.ratio.meanMin);
        QVERIFY(std::abs(valid["ratio_max"].toDouble() - maxSum / 3) < 1e-12);
        QCOMPARE(valid["U_ratio_max"].toDouble(), r.ratio.uMax);
        QCOMPARE(valid["dmin_kGy"].toDouble(), d.dminKGy);
        QCOMPARE(valid["U_dmax_kGy"].toDouble(), d.uDmaxKGy);
        QCOMPARE(valid["k"].toDouble(), d.coverage);
        QCOMPARE(valid["decision"].toString(), decisionWords(d.decision));
        const QJsonObject below = listed.at(1)["inferred"].toObject();
        QVERIFY(below["dmin_kGy"].isNull() && below["U_dmax_kGy"].isNull() && below["k"].isNull() &&
                below["decision"].isNull());
        QVERIFY(below["no_inference"].toString().startsWith(QLatin1String("below the calibrated")));

        auto csv = recordsCsv(**store, QStringLiteral("ROUTINE"));
        QVERIFY2(csv, qPrintable(csv.error()));
        const QStringList lines = QString::fromUtf8(csv->text).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4); // the chain's hash, the header, two reads
        const QStringList header = lines[1].split(',');
        QCOMPARE(header.indexOf(QStringLiteral("consistent")), 47);
        QCOMPARE(header.size(), 62);
        auto field = [&](int line, const char* column) {
            const QStringList cells = lines[line].split(',');
            return cells.size() == header.size() ? cells[header.indexOf(QLatin1String(column))]
                                                 : QStringLiteral("shifted");
        };
        QCOMPARE(field(2, "monitoring_position"), test::kMonitor);
        QCOMPARE(field(2, "inferred_dmin_kGy").toDouble(), d.dminKGy);
        QCOMPARE(field(2, "U_ratio_min").toDouble(), r.ratio.uMin);
        QCOMPARE(field(2, "no_inference"), QString());
        QCOMPARE(field(3, "inferred_dmax_kGy"), QString());
        QCOMPARE(field(3, "inferred_k"), QString());
        QCOMPARE(field(3, "ratio_max").toDouble(), r.ratio.meanMax);

        auto report = buildJobReport(**store, QStringLiteral("ROUTINE"), test::steppedClock()());
        QVERIFY2(report, qPrintable(report.error()));
        for (const QString& part :
             {QStringLiteral("<h3>Routine monitoring</h3>"), QStringLiteral("Syringes"),
              QStringLiteral("by %1 at").arg(kApprover), QStringLiteral("12.5 min"),
              valueWithU(d.dminKGy, d.uDminKGy), QStringLiteral("no inferred dose: below"),
              QStringLiteral("Routine decision: %1").arg(decisionWords(r.decision))})
            QVERIFY2(report->html.contains(part), qPrintable(part));
        QVERIFY(!report->html.contains(QLatin1String("nan")));
    }

    void refusesARoutineJobOutsideItsStudy_data() {
        QTest::addColumn<QString>("position");
        QTest::addColumn<double>("process");
        QTest::addColumn<bool>("approve");
        QTest::addColumn<QString>("error");
        QTest::newRow("unapproved")
            << test::kMonitor << 12.5 << false << "study S1 is not approved";
        QTest::newRow("not monitoring")
            << test::kMin << 12.5 << true << "L1-B2 is not a monitoring position of study S1";
        QTest::newRow("not a position")
            << "L9" << 12.5 << true << "L9 is not a monitoring position of study S1";
        QTest::newRow("process differs")
            << test::kMonitor << 12.6 << true << "the process 12.6 min is not study S1's 12.5 min";
    }
    void refusesARoutineJobOutsideItsStudy() {
        QFETCH(QString, position);
        QFETCH(double, process);
        QFETCH(bool, approve);
        QFETCH(QString, error);
        QTemporaryDir dir;
        auto store = Store::open(dir.filePath(QStringLiteral("dose.sqlite")), test::steppedClock());
        QVERIFY(store);
        QVERIFY(approve ? storeApprovedProduct(**store)
                        : storeProduct(**store, test::syntheticProduct()));
        Job j = routineJob(QStringLiteral("ROUTINE"));
        j.monitoringPosition = position;
        j.processValue = process;
        auto added = (*store)->addJob(j);
        QVERIFY(!added);
        QVERIFY2(added.error().startsWith(error), qPrintable(added.error()));
        QVERIFY(!(*store)->job(QStringLiteral("ROUTINE")));
    }

    // A routine job chains the same on both databases, jobs of the schema before it verify
    // unchanged, and a copy carries its study.
    void routineJobOnBothDatabases() {
        if (!server_)
            QSKIP(qPrintable(test::PgServer::missing()));
        QTemporaryDir dir;
        QStringList heads;
        for (const QString& location :
             {dir.filePath(QStringLiteral("dose.sqlite")), newDatabase()}) {
            QString before;
            {
                auto old = Store::openAtVersion(location, 7, nullptr, test::steppedClock());
                QVERIFY2(old, qPrintable(old.error()));
                QVERIFY(test::seedStore(**old));
                QVERIFY(storeApprovedProduct(**old));
                QVERIFY(!(*old)->addJob(routineJob(QStringLiteral("EARLY"))));
                before = *(*old)->headHash();
            }
            auto store = Store::open(location, test::steppedClock());
            QVERIFY2(store, qPrintable(store.error()));
            QVERIFY((*store)->verify(before).whole);
            QVERIFY((*store)->addJob(routineJob(QStringLiteral("ROUTINE"))));
            const ChainReport report = (*store)->verify();
            QVERIFY2(report.whole, qPrintable(report.problem));
            heads << report.headHash;
            auto target =
                Store::open(dir.filePath(QStringLiteral("copy%1.sqlite").arg(heads.size())));
            QVERIFY(target);
            QVERIFY((*store)->copyInto(**target));
            auto job = (*target)->job(QStringLiteral("ROUTINE"));
            QVERIFY(job);
            QCOMPARE(job->canonical(), routineJobCanonical(**store));
            QCOMPARE(job->processValue, 12.5);
            QCOMPARE(job->monitoringPosition, test::kMonitor);
            QVERIFY(!(*target)->job(QStringLiteral("J-7"))->routine());
        }
        QCOMPARE(heads.at(1), heads.at(0));
    }

    void refusesWhatItCannotKeep_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("error");
        QTest::newRow("limits reversed") << "limits"
                                         << "below the maximum acceptable dose";
        QTest::newRow("two runs required") << "runs"
                                           << "at least 3 runs";
        QTest::newRow("a second S1") << "study twice"
                                     << "study S1 already exists";
        QTest::newRow("a position twice") << "position twice"
                                          << "already has position L1-A1";
        QTest::newRow("a position after a run") << "late position"
                                                << "its positions are fixed";
        QTest::newRow("a dose not a number") << "nan dose"
                                             << "must be a number above 0";
        QTest::newRow("a dose at no position") << "stray dose"
                                               << "has no position Z9";
        QTest::newRow("a run twice") << "run twice"
                                     << "run R1 already exists";
        QTest::newRow("a control character") << "control"
                                             << "U+0007";
    }
    void refusesWhatItCannotKeep() {
        QFETCH(QString, what);
        QFETCH(QString, error);
        QTemporaryDir dir;
        auto store = Store::open(dir.filePath(QStringLiteral("dose.sqlite")), test::steppedClock());
        QVERIFY(store);
        MappingStudy s;
        s.id = QStringLiteral("S1");
        s.minRequiredKGy = 25;
        s.maxAcceptableKGy = 50;
        s.operatorName = kMaker;
        if (what == QLatin1String("limits"))
            s.maxAcceptableKGy = 25;
        if (what == QLatin1String("runs"))
            s.requiredRuns = 2;
        if (what == QLatin1String("control"))
            s.id = QStringLiteral("S\a1");
        Outcome<Receipt> last = (*store)->addMappingStudy(s);
        if (last && what == QLatin1String("study twice"))
            last = (*store)->addMappingStudy(s);
        MappingPosition pos;
        pos.studyId = s.id;
        pos.id = QStringLiteral("L1-A1");
        pos.operatorName = kMaker;
        if (last)
            last = (*store)->addMappingPosition(pos);
        if (last && what == QLatin1String("position twice"))
            last = (*store)->addMappingPosition(pos);
        MappingRun run;
        run.id = QStringLiteral("R1");
        run.studyId = s.id;
        run.operatorName = kMaker;
        if (last)
            last = (*store)->addMappingRun(run);
        if (last && what == QLatin1String("run twice"))
            last = (*store)->addMappingRun(run);
        if (last && what == QLatin1String("late position")) {
            pos.id = QStringLiteral("L1-A2");
            last = (*store)->addMappingPosition(pos);
        }
        PositionDose d;
        d.runId = run.id;
        d.position = pos.id;
        d.dosimeter = QStringLiteral("F1");
        d.state = PositionState::Valid;
        d.doseKGy = what == QLatin1String("nan dose") ? NAN : 30;
        if (what == QLatin1String("stray dose"))
            d.position = QStringLiteral("Z9");
        if (last)
            last = (*store)->addMappingDoses({d});
        QVERIFY(!last);
        QVERIFY2(last.error().contains(error), qPrintable(last.error()));
        QVERIFY((*store)->verify().whole);
    }

    // The command line from an empty database to an approved study, the summary's JSON against
    // the same product summarised directly; imported doses round to the CSV's digits.
    void commandLineWalkThrough() {
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("dose.sqlite"));
        QString out, err;
        auto run = [&](const QString& who, QStringList args) {
            out.clear();
            err.clear();
            QTextStream o(&out), e(&err);
            CliEnv env;
            qvr::test::withFakeSigning(env);
            env.out = &o;
            env.err = &e;
            env.now = test::steppedClock();
            env.operatorName = who;
            env.database = db;
            return runCli(args, env);
        };
        auto ok = [&](QStringList args) {
            const int status = run(kMaker, args);
            if (status != 0)
                qWarning("%s: %s", qPrintable(args.join(' ')), qPrintable(err));
            return status == 0;
        };
        QVERIFY(ok({"mapping", "add", "S1", "--min-required", "25", "--max-acceptable", "60",
                    "--product", "Syringes", "--process-value", "12.5", "--process-unit", "min"}));
        test::Product p = test::syntheticProduct();
        for (const MappingPosition& pos : p.positions) {
            QStringList args{"mapping", "position", "add", "S1", pos.id, "--layer", pos.layer};
            if (pos.monitoring)
                args << "--monitoring";
            QVERIFY(ok(args));
        }
        for (MappingRun& run : p.runs) {
            QVERIFY(ok({"mapping", "run", "add", "S1", run.id}));
            QByteArray csv = "position,dosimeter,dose_kGy,U_kGy,k,source\n";
            std::vector<PositionDose> kept;
            for (PositionDose d : run.doses) {
                if (d.state != PositionState::Valid)
                    continue; // the invalid read gives no line
                d.doseKGy = QString::number(d.doseKGy, 'f', 3).toDouble();
                d.expanded = QString::number(d.expanded, 'f', 3).toDouble();
                d.coverage = 2;
                d.randomRel = d.expanded / 2 / d.doseKGy;
                d.systematicRel = 0;
                csv += QStringLiteral("%1,%2,%3,%4,2,\"alanine, lab X\"\n")
                           .arg(d.position, QString(d.dosimeter).replace('/', '-'),
                                QString::number(d.doseKGy, 'f', 3),
                                QString::number(d.expanded, 'f', 3))
                           .toUtf8();
                kept.push_back(d);
            }
            run.doses = kept;
            QFile f(dir.filePath(run.id + ".csv"));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(csv) == csv.size());
            f.close();
            QVERIFY(ok({"mapping", "import", run.id, "--csv", f.fileName()}));
        }
        QVERIFY(ok({"mapping", "summary", "S1", "--json"}));
        const QJsonObject o = QJsonDocument::fromJson(out.toUtf8()).object();
        const MappingSummary want = summarizeMapping(p.study, p.positions, p.runs);
        QCOMPARE(o["dmin"]["position"].toString(), test::kMin);
        QCOMPARE(o["dmin"]["dose_kGy"].toDouble(), want.dmin->doseKGy);
        QCOMPARE(o["dmax"]["U_kGy"].toDouble(), want.dmax->expanded);
        QCOMPARE(o["dur"].toDouble(), *want.dur);
        QCOMPARE(o["U_dur"].toDouble(), want.uDur);
        QCOMPARE(o["k"].toDouble(), 2.0);
        QCOMPARE(o["min_zone"].toArray().size(), want.minZone.size());
        const QJsonObject mon = o["monitoring"].toArray().at(0).toObject();
        QCOMPARE(mon["position"].toString(), test::kMonitor);
        QCOMPARE(mon["ratio_min"].toDouble(), want.ratios.at(0).meanMin);
        QCOMPARE(mon["U_ratio_max"].toDouble(), want.ratios.at(0).uMax);
        QCOMPARE(mon["runs"].toInt(), 3);
        QCOMPARE(o["blockers"].toArray().at(0).toString(),
                 QStringLiteral("run R2: no valid dose or bound at position L2-C1"));

        QVERIFY(test::grantRoles(db, kApprover, {Role::Metrologist}));
        QCOMPARE(run(kApprover, {"mapping", "approve", "S1"}), 1);
        QVERIFY2(err.contains(QLatin1String("cannot be approved")), qPrintable(err));
        QFile late(dir.filePath("late.csv"));
        QVERIFY(late.open(QIODevice::WriteOnly));
        late.write(
            "position,dosimeter,dose_kGy,U_kGy,k,source\nL2-C1,R2-L2-C1b,30.1,1.2,2,alanine\n");
        late.close();
        QVERIFY(ok({"mapping", "import", "R2", "--csv", late.fileName()}));
        QCOMPARE(run(kMaker, {"mapping", "approve", "S1"}), 1);
        QCOMPARE(run(kApprover, {"mapping", "approve", "S1", "--json"}), 0);
        QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).object()["approver"].toString(), kApprover);
        QVERIFY(ok({"mapping", "list"}));
        QVERIFY2(out.contains(QLatin1String("S1  Syringes  27 positions  3 runs  25 to 60 kGy  "
                                            "approved")),
                 qPrintable(out));
    }

    void importRefusesABadFile_data() {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("error");
        const QByteArray head = "position,dosimeter,dose_kGy,U_kGy,k,source\n";
        QTest::newRow("a column missing")
            << QByteArray("position,dosimeter,dose_kGy,U_kGy,k\n") << "lacks the column \"source\"";
        QTest::newRow("U not below the dose") << head + "L1-A1,F1,20,20,2,alanine\n"
                                              << "line 2: U_kGy 20 is not below the dose 20";
        QTest::newRow("dose in Gy") << head + "L1-A1,F1,25000,1,2,alanine\n"
                                    << "line 2: dose_kGy";
        QTest::newRow("k of 0") << head + "L1-A1,F1,25,1,0,alanine\n"
                                << "line 2: k";
        QTest::newRow("no source") << head + "L1-A1,F1,25,1,2,\n"
                                   << "needs its source";
        QTest::newRow("a position not in the study") << head + "Z9,F1,25,1,2,alanine\n"
                                                     << "has no position Z9";
        QTest::newRow("no doses") << head << "no doses";
    }
    void importRefusesABadFile() {
        QFETCH(QByteArray, csv);
        QFETCH(QString, error);
        QTemporaryDir dir;
        auto store = Store::open(dir.filePath(QStringLiteral("dose.sqlite")), test::steppedClock());
        QVERIFY(store);
        MappingStudy s;
        s.id = QStringLiteral("S1");
        s.minRequiredKGy = 25;
        s.maxAcceptableKGy = 50;
        QVERIFY((*store)->addMappingStudy(s));
        MappingPosition pos;
        pos.studyId = s.id;
        pos.id = QStringLiteral("L1-A1");
        QVERIFY((*store)->addMappingPosition(pos));
        MappingRun run;
        run.id = QStringLiteral("R1");
        run.studyId = s.id;
        QVERIFY((*store)->addMappingRun(run));
        const QString before = *(*store)->headHash();
        QFile f(dir.filePath(QStringLiteral("doses.csv")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(csv);
        f.close();
        auto r = importMappingDoses(**store, run.id, f.fileName(), kMaker);
        QVERIFY(!r);
        QVERIFY2(r.error().contains(error), qPrintable(r.error()));
        QCOMPARE(*(*store)->headHash(), before);
    }

private:
    static QString routineJobCanonical(Store& store) {
        auto j = store.job(QStringLiteral("ROUTINE"));
        return j ? j->canonical() : QString();
    }
    QString newDatabase() {
        const QString name = QStringLiteral("mapping%1").arg(++databases_);
        return server_->createDatabase(name) ? server_->url(name) : QString();
    }
    std::unique_ptr<test::PgServer> server_;
    int databases_ = 0;
};

QTEST_GUILESS_MAIN(TestDoseMappingStore)
#include "test_dose_mapping_store.moc"
