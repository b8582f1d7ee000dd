// Every result of a mapping study of the synthetic product against figures worked out here
// from its known dose field, then the routine inference and decision.

#include "MappingProduct.h"
#include "dose/core/MappingSummary.h"
#include "dose/core/RoutineInference.h"

#include <QTest>
#include <cmath>

using namespace qvr::dose;
using namespace qvr::test;

namespace {

double mean3(double a, double b, double c) {
    return (a + b + c) / 3;
}
double sd3(double a, double b, double c) {
    const double m = mean3(a, b, c);
    return std::sqrt(((a - m) * (a - m) + (b - m) * (b - m) + (c - m) * (c - m)) / 2);
}

void near(double got, double want, const char* what) {
    QVERIFY2(std::fabs(got - want) <= 1e-9 * std::max(1.0, std::fabs(want)),
             qPrintable(QStringLiteral("%1: %2, expected %3")
                            .arg(what)
                            .arg(got, 0, 'g', 12)
                            .arg(want, 0, 'g', 12)));
}

// The standard uncertainty of a position's mean over three runs.
double uMean3(const QString& id) {
    const double a = fieldDose(0, id), b = fieldDose(1, id), c = fieldDose(2, id);
    const double s = sd3(a, b, c);
    const double ur2 = kRandom * kRandom * (a * a + b * b + c * c) / 3;
    return std::sqrt((s * s + ur2) / 3);
}

} // namespace

class TestDoseMapping : public QObject {
    Q_OBJECT
private slots:
    void runsGiveTheirExtremesAndUniformity() {
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        QCOMPARE(s.runs.size(), size_t(3));
        for (int run = 0; run < 3; ++run) {
            const RunResult& r = s.runs[run];
            QVERIFY(r.dmin && r.dmax && r.dur);
            QCOMPARE(r.dmin->position, kMin);
            QCOMPARE(r.dmax->position, kMax);
            near(r.dmin->doseKGy, 25.0 * kRunScale[run], "Dmin");
            near(r.dmax->doseKGy, 40.0 * kRunScale[run], "Dmax");
            near(*r.dur, 40.0 / 25.0, "DUR");
            near(r.uDur, 2 * 1.6 * kRandom * std::sqrt(2.0), "U(DUR)");
            QCOMPARE(r.missing, run == 1 ? QStringList{kInvalid} : QStringList{});
        }
    }

    void studyExtremesAreTheLowestAndHighestMeans() {
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        QVERIFY(s.dmin && s.dmax && s.dur);
        QCOMPARE(s.dmin->position, kMin);
        QCOMPARE(s.dmax->position, kMax);
        const double m = mean3(kRunScale[0], kRunScale[1], kRunScale[2]);
        near(s.dmin->doseKGy, 25.0 * m, "mean Dmin");
        near(s.dmax->doseKGy, 40.0 * m, "mean Dmax");
        near(s.dmin->expanded, 2 * std::hypot(uMean3(kMin), 25.0 * m * kSystematic), "U(Dmin)");
        near(*s.dur, 1.6, "study DUR");
        near(s.uDur, 2 * 1.6 * std::hypot(uMean3(kMin) / (25 * m), uMean3(kMax) / (40 * m)),
             "U(DUR)");
        // The invalid read leaves its position a mean of two runs.
        for (const PositionMean& pm : s.positions)
            if (pm.position == kInvalid) {
                QCOMPARE(pm.n, 2);
                near(pm.mean, (fieldDose(0, kInvalid) + fieldDose(2, kInvalid)) / 2, "mean");
            }
    }

    // A neighbour 0.3 kGy from the minimum is within the scatter, the next 2.5 kGy is not.
    void zonesHoldThePositionsIndistinguishableFromTheExtremes() {
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        QCOMPARE(s.minZone, (QStringList{QStringLiteral("L1-B1"), kMin}));
        QCOMPARE(s.maxZone, (QStringList{kMax, QStringLiteral("L3-A3")}));
        const double m = mean3(kRunScale[0], kRunScale[1], kRunScale[2]);
        const double edge = 2 * std::hypot(uMean3(kMin), uMean3(QStringLiteral("L1-B1")));
        QVERIFY(0.3 * m < edge);
        QVERIFY(2.5 * m > 2 * std::hypot(uMean3(kMin), uMean3(QStringLiteral("L1-A2"))));
    }

    void ratiosCombineRunSpreadWithRandomDosimetry() {
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        QCOMPARE(s.ratios.size(), size_t(1));
        const RatioResult& r = s.ratios[0];
        QCOMPARE(r.monitoring, kMonitor);
        QCOMPARE(r.runs, 3);
        const double mon = baseDose(0, 0, 0);
        double lo[3], hi[3];
        for (int i = 0; i < 3; ++i) {
            lo[i] = 25.0 / (mon * kMonitorShift[i]);
            hi[i] = 40.0 / (mon * kMonitorShift[i]);
            near(r.ratioMin[i], lo[i], "Dmin/Dmon");
            near(r.ratioMax[i], hi[i], "Dmax/Dmon");
        }
        near(r.meanMin, mean3(lo[0], lo[1], lo[2]), "mean ratio min");
        near(r.sdMin, sd3(lo[0], lo[1], lo[2]), "SD ratio min");
        near(r.meanMax, mean3(hi[0], hi[1], hi[2]), "mean ratio max");
        near(r.sdMax, sd3(hi[0], hi[1], hi[2]), "SD ratio max");
        // No systematic part: it cancels in a ratio of doses read with one calibration.
        const double rel = kRandom * std::sqrt(2.0);
        near(r.uMin, 2 * std::hypot(r.sdMin, r.meanMin * rel), "U ratio min");
        near(r.uMax, 2 * std::hypot(r.sdMax, r.meanMax * rel), "U ratio max");
    }

    void blockersNameWhatStopsApproval_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("blockers");
        QTest::newRow("invalid read") << QString()
                                      << QStringList{"run R2: no valid dose or bound at position "
                                                     "L2-C1"};
        QTest::newRow("two runs") << "drop R3"
                                  << QStringList{"2 of the 3 runs required",
                                                 "run R2: no valid dose or bound at position "
                                                 "L2-C1"};
        QTest::newRow("below range")
            << "below"
            << QStringList{"run R1: Dmin < 20.000 kGy at position L1-B2, below the calibrated "
                           "range",
                           "run R2: no valid dose or bound at position L2-C1"};
        QTest::newRow("position never read")
            << "unread"
            << QStringList{"run R1: no valid dose or bound at position L3-C3",
                           "run R2: no valid dose or bound at position L2-C1"};
        QTest::newRow("no monitoring position")
            << "no monitor"
            << QStringList{"no monitoring position",
                           "run R2: no valid dose or bound at position L2-C1"};
    }
    void blockersNameWhatStopsApproval() {
        QFETCH(QString, change);
        QFETCH(QStringList, blockers);
        Product p = syntheticProduct();
        if (change == QLatin1String("drop R3"))
            p.runs.pop_back();
        if (change == QLatin1String("below")) {
            for (PositionDose& d : p.runs[0].doses)
                if (d.position == kMin) {
                    d.state = PositionState::BelowRange;
                    d.doseKGy = 20;
                    d.expanded = 0;
                }
        }
        if (change == QLatin1String("unread"))
            p.runs[0].doses.pop_back();
        if (change == QLatin1String("no monitor"))
            for (MappingPosition& pos : p.positions)
                pos.monitoring = false;
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        QCOMPARE(s.blockers, blockers);
        if (change == QLatin1String("below")) {
            QVERIFY(s.runs[0].dmin->bound);
            QVERIFY(!s.runs[0].dur);
        }
    }

    void routineDosesInferDminAndDmaxWithTheirDecision_data() {
        QTest::addColumn<double>("monitoring");
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("decision");
        // Dmin is about 0.87 Dmon, Dmax 1.38 Dmon, each within about 7 %, against 25 and 60 kGy.
        QTest::newRow("well inside") << 35.0 << int(DecisionRule::Guarded) << int(Decision::Pass);
        QTest::newRow("too low") << 26.0 << int(DecisionRule::Guarded) << int(Decision::Fail);
        QTest::newRow("within U of the minimum")
            << 29.5 << int(DecisionRule::Guarded) << int(Decision::Undecided);
        QTest::newRow("simple rule, same dose")
            << 29.5 << int(DecisionRule::Simple) << int(Decision::Pass);
        QTest::newRow("too high") << 48.0 << int(DecisionRule::Guarded) << int(Decision::Fail);
    }
    void routineDosesInferDminAndDmaxWithTheirDecision() {
        QFETCH(double, monitoring);
        QFETCH(int, rule);
        QFETCH(int, decision);
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        const RatioResult& r = s.ratios.at(0);
        const double uMon = 0.025; // relative standard of the routine dose
        const InferredDoses d =
            inferDoses(monitoring, 2 * uMon * monitoring, 2, r, p.study, DecisionRule(rule));
        near(d.dminKGy, r.meanMin * monitoring, "inferred Dmin");
        near(d.dmaxKGy, r.meanMax * monitoring, "inferred Dmax");
        near(d.uDminKGy, 2 * d.dminKGy * std::hypot(r.uMin / 2 / r.meanMin, uMon), "U Dmin");
        near(d.uDmaxKGy, 2 * d.dmaxKGy * std::hypot(r.uMax / 2 / r.meanMax, uMon), "U Dmax");
        QCOMPARE(int(d.decision), decision);
    }

    void noInferenceWithoutAMonitoringDose() {
        const Product p = syntheticProduct();
        const MappingSummary s = summarizeMapping(p.study, p.positions, p.runs);
        for (double bad : {0.0, -1.0, double(NAN)})
            QCOMPARE(
                int(inferDoses(bad, 1, 2, s.ratios.at(0), p.study, DecisionRule::Guarded).decision),
                int(Decision::NoValidRead));
    }
};

QTEST_GUILESS_MAIN(TestDoseMapping)
#include "test_dose_mapping.moc"
