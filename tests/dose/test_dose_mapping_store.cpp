// A mapping study kept in the store on both databases: rows of the earlier schema verify
// unchanged after the step that adds mapping, the study's rows chain to the same hashes on
// SQLite and PostgreSQL, copy and read back as written, and approval needs a second person and
// a study without blockers.

#include "DoseScenario.h"
#include "MappingProduct.h"
#include "PgServer.h"
#include "dose/core/MappingSummary.h"

#include <QTemporaryDir>
#include <QTest>

using namespace qvr;
using namespace qvr::dose;

namespace {

const QString kMaker = QStringLiteral("mapper");
const QString kApprover = QStringLiteral("quality");

Outcome<Done> storeProduct(Store& store, const test::Product& p) {
    MappingStudy study = p.study;
    study.product = QStringLiteral("Syringes \"5 mL\" – 𝔸 ×50\tboxed");
    study.loadingPattern = QStringLiteral("2 cartons a tote");
    study.irradiator = QStringLiteral("Cell 1");
    study.sourcePath = QStringLiteral("path B, two passes");
    study.processText = QStringLiteral("dwell per position");
    study.processValue = 12.5;
    study.processUnit = QStringLiteral("min");
    study.operatorName = kMaker;
    if (auto r = store.addMappingStudy(study); !r)
        return Failure{r.error()};
    for (MappingPosition pos : p.positions) {
        pos.studyId = study.id;
        pos.xMm = 100.25;
        pos.operatorName = kMaker;
        if (auto r = store.addMappingPosition(pos); !r)
            return Failure{r.error()};
    }
    for (const MappingRun& run : p.runs) {
        MappingRun r = run;
        r.studyId = study.id;
        r.operatorName = kMaker;
        if (auto added = store.addMappingRun(r); !added)
            return Failure{added.error()};
        std::vector<PositionDose> doses = run.doses;
        for (PositionDose& d : doses) {
            d.runId = run.id;
            d.operatorName = kMaker;
        }
        if (auto added = store.addMappingDoses(doses); !added)
            return Failure{added.error()};
    }
    return Done{};
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
            auto store = Store::open(location, test::steppedClock());
            QVERIFY2(store, qPrintable(store.error()));
            QCOMPARE(*(*store)->schemaVersion(), kSchemaVersion);
            QVERIFY((*store)->verify(before).whole);

            const test::Product p = test::syntheticProduct();
            auto stored = storeProduct(**store, p);
            QVERIFY2(stored, qPrintable(stored.error()));
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
            QVERIFY(again && again->runs.size() == 3 && again->doses.size() == 81);
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

private:
    QString newDatabase() {
        const QString name = QStringLiteral("mapping%1").arg(++databases_);
        return server_->createDatabase(name) ? server_->url(name) : QString();
    }
    std::unique_ptr<test::PgServer> server_;
    int databases_ = 0;
};

QTEST_GUILESS_MAIN(TestDoseMappingStore)
#include "test_dose_mapping_store.moc"
