// Whether U means what it says: calibrations and routine films simulated from known truths of
// the film class the workstation reads, fitted and judged as the program does.

#include "dose/core/CoverageSimulation.h"
#include "dose/core/Fitting.h"
#include "dose/core/Reproducibility.h"

#include <QTest>
#include <cmath>

using namespace qvr::dose;

namespace {

// A radiochromic film: specific net absorbance c D / (1 + D / d0) mm^-1, a film-to-film spread
// larger at low dose, thickness spread about 2.5 % measured with a gauge, reading noise, and one
// reference dose error common to a calibration.
struct Film {
    double c = 1.6, d0 = 80; // response
    double cvHigh = 0.01;    // film-to-film, relative, at high dose
    double cvLowKGy = 0.02;  // ... plus this many kGy, in quadrature
    double thicknessUm = 50, thicknessSpread = 0.025, gaugeUm = 0.4;
    double readingSd = 0.0025; // absorbance
    double referencePercent = 1.5;
    double a0 = 0.12;

    double cv(double d) const { return std::hypot(cvHigh, cvLowKGy / d); }
    // A film given its dose: the absorbance as read and the thickness as gauged.
    std::pair<double, double> read(double d, Random& r) const {
        const double t = thicknessUm * (1 + thicknessSpread * r.normal());
        const double k = c * d / (1 + d / d0) * (1 + cv(d) * r.normal());
        return {a0 + k * t / 1000 + readingSd * r.normal(), t + gaugeUm * r.normal()};
    }
};

SimulatedTruth truthOf(const Film& film, std::vector<double> levels, std::vector<double> routine,
                       int filmsPerLevel) {
    SimulatedTruth t;
    t.a0 = film.a0;
    t.levelDoses = std::move(levels);
    t.levelReferencePercent.assign(t.levelDoses.size(), film.referencePercent);
    t.filmsPerLevel = filmsPerLevel;
    t.routineDoses = std::move(routine);
    t.calibrationFilm = [film](double d, Random& r) {
        const auto [a, t] = film.read(d, r);
        CalibrationPoint p;
        p.absorbance = a;
        p.thicknessUm = t;
        p.readerSd = film.readingSd;
        return p;
    };
    t.routineFilm = [film](double d, Random& r) {
        const auto [a, t] = film.read(d, r);
        DoseInput in;
        in.absorbance = a;
        in.a0 = film.a0;
        in.calibrationA0 = film.a0;
        in.thicknessUm = t;
        in.uThicknessUm = film.gaugeUm;
        in.thicknessMeasured = true;
        in.readingSd = film.readingSd;
        return in;
    };
    return t;
}

std::vector<double> geometric(double lo, double hi, int n) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(lo * std::pow(hi / lo, double(i) / (n - 1)));
    return v;
}

const std::vector<double> kRoutine{1.2, 1.5, 3, 7, 15, 30, 50};

} // namespace

Q_DECLARE_METATYPE(Film)

class TestDoseCoverage : public QObject {
    Q_OBJECT
private slots:
    void reproducibilityFollowsDose();
    void coverage_data();
    void coverage();
    void fitTruthAgreesWithPhysicalTruth();
    void seedDecides();
};

void TestDoseCoverage::reproducibilityFollowsDose() {
    // Level spreads exactly on a known model, with their degrees of freedom: recovered; a
    // constant spread, or too few levels, give the pooled figure.
    std::vector<LevelSpread> levels;
    for (double d : geometric(1, 60, 9))
        levels.push_back({d, std::hypot(0.012, 0.03 / d), 3});
    const Reproducibility r = fitReproducibility(levels);
    QVERIFY(r.byDose);
    QCOMPARE(qRound(r.a * 1e5), 1200);
    QCOMPARE(qRound(r.b * 1e5), 3000);
    QCOMPARE(r.dof, 26);
    for (LevelSpread& l : levels)
        l.cv = 0.02;
    QVERIFY(!fitReproducibility(levels).byDose);
    QCOMPARE(fitReproducibility(levels).cvAt(1), 0.02);
    levels.resize(3);
    QVERIFY(!fitReproducibility(levels).byDose);
}

void TestDoseCoverage::coverage_data() {
    QTest::addColumn<Film>("film");
    QTest::addColumn<int>("levels");
    QTest::addColumn<int>("films");
    QTest::addColumn<quint64>("seed");
    QTest::newRow("9 levels of 4, CV 4 % to 1 %") << Film{} << 9 << 4 << quint64(1);
    Film steep;
    steep.cvLowKGy = 0.035;
    steep.cvHigh = 0.008;
    steep.readingSd = 0.002;
    QTest::newRow("9 levels of 4, steeper low-dose spread") << steep << 9 << 4 << quint64(2);
    Film flat;
    flat.cvLowKGy = 0.005;
    flat.readingSd = 0.003;
    flat.d0 = 40;
    QTest::newRow("9 levels of 5, flatter spread, stronger curve") << flat << 9 << 5 << quint64(3);
}

void TestDoseCoverage::coverage() {
    QFETCH(Film, film);
    QFETCH(int, levels);
    QFETCH(int, films);
    QFETCH(quint64, seed);
    // Over 2,000 films at each dose: five read with each of 420 calibrations.
    const int trials = 420;
    SimulatedTruth truth = truthOf(film, geometric(1, 60, levels), kRoutine, films);
    truth.routineFilms = 5;
    const CoverageReport report = simulateCoverage(truth, trials, seed, true);
    QVERIFY2(report.rejected < trials / 20, qPrintable(QString::number(report.rejected)));
    for (const CoverageAtDose& at : report.levels) {
        const QString where = QStringLiteral("%1 kGy: coverage %2 %, median U %3 %, observed 2 sd "
                                             "%4 %, k %5, films %6")
                                  .arg(at.dose)
                                  .arg(at.coveragePercent)
                                  .arg(at.medianUPercent)
                                  .arg(2 * at.errorSdPercent)
                                  .arg(at.medianK)
                                  .arg(at.films);
        qInfo("%s", qPrintable(where));
        QVERIFY2(at.films >= 2000, qPrintable(where));
        QVERIFY2(at.coveragePercent >= 93 && at.coveragePercent <= 97, qPrintable(where));
        QVERIFY2(at.uOverError <= 1.5, qPrintable(where));
    }
}

// What calibration check simulates from one fitted calibration of the film agrees with the
// film's own truth: U covers about 95 % at the inner levels.
void TestDoseCoverage::fitTruthAgreesWithPhysicalTruth() {
    const Film film;
    const SimulatedTruth physical = truthOf(film, geometric(1, 60, 9), {}, 4);
    Random random(21);
    Calibration c;
    c.a0 = film.a0;
    for (double d : physical.levelDoses)
        for (int f = 0; f < 4; ++f) {
            CalibrationPoint p = physical.calibrationFilm(d, random);
            p.doseKGy = d;
            p.uDosePercent = film.referencePercent;
            c.points.push_back(p);
        }
    const Outcome<Fit> fit = chooseFit(c, true);
    QVERIFY(fit && fit->acceptance.accepted);
    SimulatedTruth truth = truthOfFit(*fit, c);
    QCOMPARE(truth.routineDoses.size(), size_t(7));
    truth.routineFilms = 5;
    const CoverageReport report = simulateCoverage(truth, 400, 5, true);
    for (const CoverageAtDose& at : report.levels) {
        const QString where = QStringLiteral("%1 kGy: coverage %2 %, U / error %3")
                                  .arg(at.dose)
                                  .arg(at.coveragePercent)
                                  .arg(at.uOverError);
        QVERIFY2(at.coveragePercent >= 93 && at.coveragePercent <= 97, qPrintable(where));
        QVERIFY2(at.uOverError > 0.8 && at.uOverError <= 1.5, qPrintable(where));
    }
}

void TestDoseCoverage::seedDecides() {
    const SimulatedTruth truth = truthOf(Film{}, geometric(1, 60, 9), {3, 15}, 4);
    const CoverageReport a = simulateCoverage(truth, 40, 7, true);
    const CoverageReport b = simulateCoverage(truth, 40, 7, true);
    const CoverageReport c = simulateCoverage(truth, 40, 8, true);
    QCOMPARE(a.levels[0].medianUPercent, b.levels[0].medianUPercent);
    QCOMPARE(a.levels[1].errorSdPercent, b.levels[1].errorSdPercent);
    QVERIFY(a.levels[1].errorSdPercent != c.levels[1].errorSdPercent);
}

QTEST_GUILESS_MAIN(TestDoseCoverage)
#include "test_dose_coverage.moc"
