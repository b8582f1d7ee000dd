// The calibration fit against independent solvers, its refusals, and the choice of model.

#include "DoseFixtures.h"
#include "dose/core/Fitting.h"

#include <QTest>

using namespace qvr::dose;
using namespace qvr::dose::test;

namespace {

using Coefficients = std::vector<double>;

// Normal equations in long double on k / max k, solved by Gaussian elimination with pivoting:
// a different route to the same least-squares polynomial.
Coefficients normalEquations(const std::vector<double>& k, const std::vector<double>& d, int n) {
    long double scale = 0;
    for (double v : k)
        scale = std::max(scale, std::fabs(static_cast<long double>(v)));
    std::vector<std::vector<long double>> m(n, std::vector<long double>(n + 1, 0));
    for (size_t i = 0; i < k.size(); ++i) {
        std::vector<long double> row(n);
        long double x = k[i] / scale, p = 1;
        for (int j = 0; j < n; ++j, p *= x)
            row[j] = p;
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c)
                m[r][c] += row[r] * row[c];
            m[r][n] += row[r] * d[i];
        }
    }
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c]))
                pivot = r;
        std::swap(m[c], m[pivot]);
        for (int r = 0; r < n; ++r)
            if (r != c) {
                const long double f = m[r][c] / m[c][c];
                for (int j = c; j <= n; ++j)
                    m[r][j] -= f * m[c][j];
            }
    }
    Coefficients out(n);
    for (int j = 0; j < n; ++j)
        out[j] = static_cast<double>(m[j][n] / m[j][j] / std::pow(scale, j));
    return out;
}

// Power law by its profile: for a given b the best a is linear, so only b is searched, as the
// root of the profile's derivative, by bisection in long double.
Coefficients powerProfile(const std::vector<double>& k, const std::vector<double>& d, double b0) {
    auto h = [&](long double b) {
        long double s1 = 0, s1d = 0, s2 = 0, s2d = 0;
        for (size_t i = 0; i < k.size(); ++i) {
            const long double kb = std::pow(static_cast<long double>(k[i]), b);
            const long double lk = std::log(static_cast<long double>(k[i]));
            s1 += d[i] * kb;
            s1d += d[i] * kb * lk;
            s2 += kb * kb;
            s2d += 2 * kb * kb * lk;
        }
        return 2 * s1d * s2 - s1 * s2d;
    };
    long double lo = b0 - 0.3, hi = b0 + 0.3;
    const bool rising = h(lo) < 0;
    for (int i = 0; i < 200; ++i) {
        const long double mid = (lo + hi) / 2;
        ((h(mid) < 0) == rising ? lo : hi) = mid;
    }
    const long double b = (lo + hi) / 2;
    long double s1 = 0, s2 = 0;
    for (size_t i = 0; i < k.size(); ++i) {
        const long double kb = std::pow(static_cast<long double>(k[i]), b);
        s1 += d[i] * kb;
        s2 += kb * kb;
    }
    return {static_cast<double>(s1 / s2), static_cast<double>(b)};
}

double evaluate(const Coefficients& c, double k) {
    double v = 0;
    for (auto it = c.rbegin(); it != c.rend(); ++it)
        v = v * k + *it;
    return v;
}

void compareCoefficients(const Coefficients& got, const Coefficients& want, double tolerance) {
    QCOMPARE(got.size(), want.size());
    for (size_t j = 0; j < want.size(); ++j)
        QVERIFY2(std::fabs(got[j] - want[j]) <= tolerance * std::fabs(want[j]),
                 qPrintable(QStringLiteral("coefficient %1: %2, expected %3")
                                .arg(j)
                                .arg(got[j], 0, 'g', 17)
                                .arg(want[j], 0, 'g', 17)));
}

std::vector<double> spaced(double lo, double hi, int n) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(lo + (hi - lo) * i / (n - 1));
    return v;
}

} // namespace

class TestDoseFit : public QObject {
    Q_OBJECT
private slots:
    // Doses made exactly by a known curve come back as its coefficients, on ordinary responses,
    // on tiny ones and on a narrow band far from zero (both ill-conditioned unless scaled).
    void exactCurveIsRecovered_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<Coefficients>("truth");
        const Coefficients c1{0.3, 0.9}, c2{0.2, 0.6, 0.006}, c3{0.1, 0.5, 0.01, -0.00005},
            c4{0.1, 0.5, 0.01, 1e-5, -1e-7}, power{0.35, 1.25};
        for (auto [name, scale, lo, hi] :
             {std::tuple{"ordinary", 1.0, 2.0, 55.0}, std::tuple{"tiny", 1e-4, 2.0, 55.0},
              std::tuple{"clustered", 1.0, 50.0, 55.0}}) {
            const int m[] = {0, 1, 2, 3};
            const Coefficients* cs[] = {&c1, &c2, &c3, &c4};
            for (int i = 0; i < 4; ++i) {
                Coefficients t = *cs[i];
                for (size_t j = 0; j < t.size(); ++j)
                    t[j] /= std::pow(scale, j); // the same doses over k * scale
                QTest::addRow("%s poly%d", name, i + 1) << m[i] << scale << lo << hi << t;
            }
            QTest::addRow("%s power", name)
                << 4 << scale << lo << hi
                << Coefficients{power[0] / std::pow(scale, power[1]), power[1]};
        }
    }
    void exactCurveIsRecovered() {
        QFETCH(int, model);
        QFETCH(double, scale);
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(Coefficients, truth);
        std::vector<double> k = spaced(lo * scale, hi * scale, 8), d;
        for (double v : k)
            d.push_back(model == 4 ? truth[0] * std::pow(v, truth[1]) : evaluate(truth, v));
        const auto fit = fitCalibration(calibrationOf(k, d), kModels[model], false);
        QVERIFY2(fit, qPrintable(fit.error()));
        QVERIFY(fit->rmsPercent < 1e-9);
        // Far from zero the intercept is an extrapolation that no solver fixes better than the
        // doses' own rounding allows, so a clustered set is judged by its curve.
        if (hi - lo > 10)
            compareCoefficients(fit->coefficients, truth, 1e-9);
    }

    // On scattered replicates the least-squares answer agrees with a different solver.
    void scatteredAgreesWithIndependentSolver_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<unsigned>("seed");
        for (int m = 0; m < 5; ++m)
            for (unsigned seed : {7u, 11u})
                QTest::addRow("%s seed %u", qPrintable(modelName(kModels[m])), seed) << m << seed;
    }
    void scatteredAgreesWithIndependentSolver() {
        QFETCH(int, model);
        QFETCH(unsigned, seed);
        const Calibration c = filmCalibration(seed);
        const std::vector<double> k = c.responses();
        std::vector<double> d;
        for (const auto& p : c.points)
            d.push_back(p.doseKGy);
        const auto fit = fitCalibration(c, kModels[model], false);
        if (!fit)
            QSKIP(qPrintable(QStringLiteral("refused on this set: ") + fit.error()));
        const Coefficients want = model == 4 ? powerProfile(k, d, fit->coefficients[1])
                                             : normalEquations(k, d, model + 2);
        compareCoefficients(fit->coefficients, want, 1e-9);
        QCOMPARE(fit->residualsPercent.size(), c.points.size());
        QCOMPARE(fit->levelCvPercent.size(), kFilmLevels.size());
        QCOMPARE(fit->doseLo, 1.0);
        QCOMPARE(fit->doseHi, 50.0);
    }

    void refusals_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<std::vector<double>>("k");
        QTest::addColumn<std::vector<double>>("dose");
        QTest::addColumn<QString>("why");
        QTest::newRow("levels") << 2 << spaced(1, 4, 8)
                                << std::vector<double>{1, 1, 2, 2, 3, 3, 4, 4}
                                << "poly3 needs at least 5 dose levels; the calibration has 4";
        QTest::newRow("points") << 1 << spaced(1, 4, 4) << std::vector<double>{1, 2, 3, 4}
                                << "poly2 needs at least 5 points; the calibration has 4";
        QTest::newRow("mean response") << 0 << std::vector<double>{1, 1.1, 2, 2.1, 1.9, 2.0}
                                       << std::vector<double>{1, 1, 2, 2, 3, 3}
                                       << "the mean response does not increase with dose";
        QTest::newRow("falling curve")
            << 3 << spaced(1, 7, 7) << std::vector<double>{1, 2, 3, 10, 10.5, 11, 20}
            << "the fitted poly4 curve is not increasing over the calibrated range";
        QTest::newRow("power at zero response")
            << 4 << std::vector<double>{0, 1, 2, 3, 4} << std::vector<double>{1, 2, 3, 4, 5}
            << "power needs every response above 0";
    }
    void refusals() {
        QFETCH(int, model);
        QFETCH(std::vector<double>, k);
        QFETCH(std::vector<double>, dose);
        QFETCH(QString, why);
        const auto fit = fitCalibration(calibrationOf(k, dose), kModels[model], false);
        QVERIFY(!fit);
        QVERIFY2(fit.error().startsWith(why), qPrintable(fit.error()));
    }

    // The accepted model with the fewest parameters, and the reason says so.
    void choice_data() {
        QTest::addColumn<Coefficients>("curve");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("straight") << Coefficients{0.5, 0.9} << "poly1";
        QTest::newRow("curved") << Coefficients{0.2, 0.3, 0.02} << "poly2";
    }
    void choice() {
        QFETCH(Coefficients, curve);
        QFETCH(QString, chosen);
        std::mt19937 random(3);
        std::normal_distribution<double> noise(0, 0.003);
        std::vector<double> k, d;
        for (double x : spaced(5, 50, 9))
            for (int r = 0; r < 3; ++r) {
                k.push_back(x * (1 + noise(random)));
                d.push_back(evaluate(curve, x));
            }
        // Weighted: without, the low doses' relative residuals are left to the high doses.
        const auto fit = chooseFit(calibrationOf(k, d), true);
        QVERIFY2(fit, qPrintable(fit.error()));
        QCOMPARE(modelName(fit->model), chosen);
        QVERIFY(fit->acceptance.accepted);
        QVERIFY2(fit->choice.startsWith(chosen + QStringLiteral(" is the accepted model")),
                 qPrintable(fit->choice));
        for (Model m : kModels) {
            const auto other = fitCalibration(calibrationOf(k, d), m, true);
            if (other && parameterCount(m) < parameterCount(fit->model))
                QVERIFY2(!other->acceptance.accepted, qPrintable(modelName(m)));
        }
    }

    // Weighting by the reference dose uncertainty: equal relative uncertainties weight each point
    // by 1/D^2, which pulls the low doses closer than the unweighted fit does.
    void weightedFavoursRelativeResiduals() {
        const Calibration c = filmCalibration(11);
        const auto plain = fitCalibration(c, Model::Poly1, false);
        const auto weighted = fitCalibration(c, Model::Poly1, true);
        QVERIFY(plain && weighted);
        QVERIFY(weighted->weighted);
        QVERIFY(std::fabs(weighted->residualsPercent.front()) <
                std::fabs(plain->residualsPercent.front()));
    }
};

QTEST_GUILESS_MAIN(TestDoseFit)
#include "test_dose_fit.moc"
