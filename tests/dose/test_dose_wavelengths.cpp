// Two doses of one film, one at each wavelength: their agreement and their combination checked
// against the formulas worked by hand, and by simulation that the stated U covers 95 % when the
// two share their reference, their film and their fits.

#include "dose/core/CoverageSimulation.h"
#include "dose/core/TwoWavelengths.h"

#include <QTest>
#include <cmath>

using namespace qvr::dose;

using Parts = std::array<double, 6>;

namespace {

// Components in percent: fit, reference, reproducibility, thickness, reading, background.
WavelengthDose doseOf(int nm, double dose, Parts c, double fitDof = 0,
                      double reproducibilityDof = 0) {
    WavelengthDose w;
    w.wavelengthNm = nm;
    w.result.dose = dose;
    w.result.components = {c[0], c[1], c[2], c[3], c[4], c[5]};
    w.result.inRange = true;
    w.result.validity = Validity::Valid;
    w.result.dof = fitDof > 0 ? 50 : 0; // budget 1 estimates none
    w.result.coverage = 2;
    w.result.expanded = 2 * dose * w.result.components.combined() / 100;
    w.fitDof = fitDof;
    w.reproducibilityDof = reproducibilityDof;
    return w;
}

WavelengthDose outOfRange(int nm, Validity validity) {
    WavelengthDose w;
    w.wavelengthNm = nm;
    w.result.dose = w.result.expanded = std::nan("");
    w.result.validity = validity;
    return w;
}

// D1 = 10 kGy: u1 = (0.10, 0.08, 0.10, 0.03, 0.15, 0.05) kGy;
// D2 = 10.2 kGy: u2 = (0.1428, 0.0816, 0.1224, 0.0408, 0.204, 0.0612) kGy; fits correlated 0.4.
// V1 = 0.0523, V2 = 0.08905824,
// C = 0.4 0.10 0.1428 + 0.08 0.0816 + 0.10 0.1224 + 0.03 0.0408 = 0.025704.
const Parts kFirst{1.0, 0.8, 1.0, 0.3, 1.5, 0.5};
const Parts kSecond{1.4, 0.8, 1.2, 0.4, 2.0, 0.6};

} // namespace

class TestDoseWavelengths : public QObject {
    Q_OBJECT

private slots:
    void agreementAndCombinationByHand() {
        const DualDose d =
            combineWavelengths(doseOf(510, 10.0, kFirst), doseOf(600, 10.2, kSecond), 0.4);
        QVERIFY(d.hasAgreement);
        // u(D1 - D2) = sqrt(V1 + V2 - 2C) = sqrt(0.08994999) = 0.2999170; taken as independent
        // it would be sqrt(V1 + V2) = 0.37598.
        QCOMPARE(d.agreement.difference, 10.0 - 10.2);
        QVERIFY(std::fabs(d.agreement.uDifference - 0.29991706) < 1e-7);
        QCOMPARE(d.agreement.coverage, 2.0);
        QVERIFY(std::fabs(d.agreement.expanded - 0.59983411) < 1e-7);
        QVERIFY(d.agreement.consistent);
        // w1 = (V2 - C) / (V1 + V2 - 2C) = 0.06335424 / 0.08994999 = 0.7043254;
        // D = 0.7043254 10 + 0.2956746 10.2 = 10.059135;
        // var = (V1 V2 - C^2) / (V1 + V2 - 2C) = 0.0044436 -> U = 2 sqrt(var) = 0.421598.
        QCOMPARE(d.outcome, DualOutcome::Combined);
        QVERIFY(std::fabs(d.weightFirst - 0.70432541) < 1e-7);
        QVERIFY(std::fabs(d.dose - 10.05913492) < 1e-7);
        QVERIFY(std::fabs(d.expanded - 0.42159810) < 1e-7);
    }

    void sharedPartBeyondTheBetterDoseTakesItAlone() {
        // Here C = 0.08343 exceeds V1 = 0.0786: the unconstrained weights are 1.17 and -0.17,
        // a dose below both readings. The better dose alone is reported, with its own U.
        const DualDose d =
            combineWavelengths(doseOf(510, 10.0, {1.0, 1.5, 2.0, 0.5, 0.6, 0}),
                               doseOf(600, 10.3, {1.2, 1.6, 2.4, 0.6, 0.9, 0.3}), 0.5);
        QCOMPARE(d.outcome, DualOutcome::Combined);
        QCOMPARE(d.weightFirst, 1.0);
        QCOMPARE(d.dose, 10.0);
        QVERIFY(std::fabs(d.expanded - 2 * std::sqrt(0.0786)) < 1e-9);
        // u(D1 - D2) = sqrt(0.0786 + 0.11691118 - 2 0.08343) = 0.1692666: -0.3 is consistent
        // only because 0.3 <= 0.3385.
        QVERIFY(std::fabs(d.agreement.uDifference - 0.16926659) < 1e-7);
        QVERIFY(d.agreement.consistent);
    }

    void degreesOfFreedomOfTheSharedParts() {
        // Fits with 5 and 8 dof share the fewer, reproducibility 20 and 30 likewise. By
        // Welch-Satterthwaite over the parts of the difference and of the combination worked
        // as above: 112.425 and 85.457 degrees of freedom.
        const DualDose d = combineWavelengths(doseOf(510, 10.0, kFirst, 5, 20),
                                              doseOf(600, 10.2, kSecond, 8, 30), 0.4);
        QVERIFY(std::fabs(d.agreement.coverage - coverageFactor(112.425009)) < 1e-6);
        QVERIFY(std::fabs(d.dof - 85.456567) < 1e-5);
        QVERIFY(std::fabs(d.coverage - coverageFactor(85.456567)) < 1e-6);
        QVERIFY(d.coverage > 2.0);
    }

    void mismatchGivesNoDose() {
        // 10 against 10.8 kGy: 0.8 > 0.5998 (the same u as above).
        const DualDose d =
            combineWavelengths(doseOf(510, 10.0, kFirst), doseOf(600, 10.8, kSecond), 0.4);
        QCOMPARE(d.outcome, DualOutcome::Mismatch);
        QVERIFY(d.hasAgreement);
        QVERIFY(!d.agreement.consistent);
        QVERIFY(std::isnan(d.dose) && std::isnan(d.expanded));
        QVERIFY(d.note.contains(QStringLiteral("510 nm and 600 nm differ by 0.800 kGy")));
    }

    void oneWavelengthInRange_data() {
        QTest::addColumn<bool>("firstValid");
        QTest::addColumn<int>("validity");
        QTest::newRow("second above") << true << int(Validity::AboveRange);
        QTest::newRow("first below") << false << int(Validity::BelowRange);
    }
    void oneWavelengthInRange() {
        QFETCH(bool, firstValid);
        QFETCH(int, validity);
        const WavelengthDose good = doseOf(firstValid ? 510 : 600, 30.0, kFirst);
        const WavelengthDose bad = outOfRange(firstValid ? 600 : 510, Validity(validity));
        const DualDose d =
            firstValid ? combineWavelengths(good, bad, 0.4) : combineWavelengths(bad, good, 0.4);
        QCOMPARE(d.outcome, firstValid ? DualOutcome::FirstOnly : DualOutcome::SecondOnly);
        QVERIFY(!d.hasAgreement);
        QCOMPARE(d.dose, 30.0);
        QCOMPARE(d.expanded, good.result.expanded);
        QCOMPARE(d.weightFirst, firstValid ? 1.0 : 0.0);
        QVERIFY2(d.note.startsWith(QStringLiteral("only %1 nm").arg(good.wavelengthNm)),
                 qPrintable(d.note));
        QVERIFY(d.note.contains(validityFlag(Validity(validity))));
    }

    void neitherInRange() {
        const DualDose d = combineWavelengths(outOfRange(510, Validity::AboveRange),
                                              outOfRange(600, Validity::AboveRange), 0.4);
        QCOMPARE(d.outcome, DualOutcome::NoDose);
        QVERIFY(std::isnan(d.dose));
    }

    void residualCorrelation_data() {
        QTest::addColumn<std::vector<double>>("first");
        QTest::addColumn<std::vector<double>>("second");
        QTest::addColumn<double>("expected");
        const double nan = std::nan("");
        // means 3 and 3: Sab = 2 + 2 + 0 + 0 + 4 = 8, Saa = Sbb = 10.
        QTest::newRow("paired") << std::vector<double>{1, 2, 3, 4, 5}
                                << std::vector<double>{2, 1, 4, 3, 5} << 0.8;
        QTest::newRow("missing residual skipped") << std::vector<double>{1, 2, nan, 3, 4, 5}
                                                  << std::vector<double>{2, 1, 7, 4, 3, 5} << 0.8;
        QTest::newRow("opposite") << std::vector<double>{1, 2, 3} << std::vector<double>{3, 2, 1}
                                  << -1.0;
        QTest::newRow("two pairs") << std::vector<double>{1, 2} << std::vector<double>{1, 2} << 0.0;
        QTest::newRow("no spread")
            << std::vector<double>{1, 1, 1} << std::vector<double>{1, 2, 3} << 0.0;
    }
    void residualCorrelation() {
        QFETCH(std::vector<double>, first);
        QFETCH(std::vector<double>, second);
        QFETCH(double, expected);
        QVERIFY(std::fabs(qvr::dose::residualCorrelation(first, second) - expected) < 1e-12);
    }

    void fitsCorrelateOnlyThroughTheSameFilms() {
        Calibration a, b;
        a.id = 4;
        b.id = 5;
        for (int i = 0; i < 6; ++i)
            a.points.push_back(
                {QStringLiteral("F%1").arg(i + 1), 5.0 + i, 1, 0.1 * (i + 1), 50, 0});
        b.points = a.points;
        Fit fa, fb;
        // Paired over all six films: 0.8 without the sixth (as above), which pulls it down.
        fa.residualsPercent = {1, 2, 3, 4, 5, 5};
        fb.residualsPercent = {2, 1, 4, 3, 5, -20};
        QCOMPARE(fitCorrelation(a, fa, b, fb), 0.0); // not linked
        b.sameFilmsAs = 4;
        const double all = fitCorrelation(a, fa, b, fb);
        QVERIFY(all < 0.5);
        fb.excluded = {QStringLiteral("F6")};
        QVERIFY(std::fabs(fitCorrelation(a, fa, b, fb) - 0.8) < 1e-12);
        QVERIFY(std::fabs(fitCorrelation(b, fb, a, fa) - 0.8) < 1e-12);
    }

    void coverageWithSharedErrors_data() {
        QTest::addColumn<Parts>("first");
        QTest::addColumn<Parts>("second");
        QTest::addColumn<double>("fitCorrelation");
        QTest::newRow("mostly independent") << kFirst << kSecond << 0.4;
        QTest::newRow("mostly shared")
            << Parts{1.0, 1.5, 2.0, 0.5, 0.6, 0} << Parts{1.2, 1.6, 2.4, 0.6, 0.9, 0.3} << 0.5;
        QTest::newRow("fits strongly correlated")
            << Parts{2.5, 0.3, 0.5, 0, 0.8, 0.2} << Parts{3.0, 0.3, 0.6, 0, 1.0, 0.2} << 0.9;
    }
    void coverageWithSharedErrors() {
        // Each trial draws the shared errors once for both doses, the fits' with the stated
        // correlation, the readings and zeros apart; the components as stated.
        QFETCH(Parts, first);
        QFETCH(Parts, second);
        QFETCH(double, fitCorrelation);
        const double truth = 10.0;
        Random random(30);
        const int trials = 20000;
        int covered = 0, consistent = 0;
        for (int t = 0; t < trials; ++t) {
            const double zFit = random.normal();
            const double zFit2 = fitCorrelation * zFit +
                                 std::sqrt(1 - fitCorrelation * fitCorrelation) * random.normal();
            const double zRef = random.normal(), zRep = random.normal(), zThick = random.normal();
            double d[2];
            for (int w = 0; w < 2; ++w) {
                const auto& c = w == 0 ? first : second;
                const double rel = c[0] * (w == 0 ? zFit : zFit2) + c[1] * zRef + c[2] * zRep +
                                   c[3] * zThick + c[4] * random.normal() + c[5] * random.normal();
                d[w] = truth * (1 + rel / 100);
            }
            // The stated components are of the true dose, as a budget states them.
            auto scaled = [&](const Parts& c, double dose) {
                Parts s;
                for (int i = 0; i < 6; ++i)
                    s[i] = c[i] * truth / dose;
                return s;
            };
            const DualDose r =
                combineWavelengths(doseOf(510, d[0], scaled(first, d[0])),
                                   doseOf(600, d[1], scaled(second, d[1])), fitCorrelation);
            consistent += r.agreement.consistent;
            if (r.outcome == DualOutcome::Combined && std::fabs(r.dose - truth) <= r.expanded)
                ++covered;
        }
        const double agreeing = 100.0 * consistent / trials;
        const double coverage = 100.0 * covered / consistent;
        // 95.45 % for k = 2; 20000 trials give a standard error of 0.15 %.
        QVERIFY2(std::fabs(agreeing - 95.45) < 0.8, qPrintable(QString::number(agreeing)));
        QVERIFY2(std::fabs(coverage - 95.45) < 1.0, qPrintable(QString::number(coverage)));
    }
};

QTEST_GUILESS_MAIN(TestDoseWavelengths)
#include "test_dose_wavelengths.moc"
