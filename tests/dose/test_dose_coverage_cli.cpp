// The coverage of U as a lab meets it: calibrations and routine films simulated from a film
// truth, each calibration imported and fitted through the command line with its defaults and
// each film's dose asked of `dose` with its gauge thickness and reading spread.

#include "FakeSigning.h"
#include "dose/cli/Cli.h"
#include "dose/core/CoverageSimulation.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace qvr::dose;

class TestDoseCoverageCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out_, err_;

    int run(const QStringList& args) {
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        CliEnv env;
        qvr::test::withFakeSigning(env);
        env.out = &out;
        env.err = &err;
        env.now = [] { return QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC); };
        env.operatorName = QStringLiteral("tester");
        env.database = dir_.filePath(QStringLiteral("dose.sqlite"));
        return runCli(args, env);
    }
    static QString num(double v) { return QString::number(v, 'g', 17); }

private slots:
    void coverageThroughTheCommandLine();
};

// A thinner film than the core test's, with a stronger curve and noisier readings.
void TestDoseCoverageCli::coverageThroughTheCommandLine() {
    const double c = 2.4, d0 = 60, t0 = 30, spread = 0.025, gauge = 0.4, readingSd = 0.003;
    const double a0 = 0.1, reference = 1.5;
    auto cv = [](double d) { return std::hypot(0.009, 0.03 / d); };
    const std::vector<double> levels{1.5, 2.4, 3.8, 6, 9.5, 15, 24, 45};
    const std::vector<double> routine{2, 3, 5, 10, 20, 35};
    const int calibrations = 120, filmsPerDose = 5;
    Random random(11);
    auto film = [&](double d) {
        const double t = t0 * (1 + spread * random.normal());
        const double k = c * d / (1 + d / d0) * (1 + cv(d) * random.normal());
        return std::pair{a0 + k * t / 1000 + readingSd * random.normal(),
                         t + gauge * random.normal()};
    };
    QCOMPARE(run({"batch", "add", "B", "--thickness-um", num(t0), "--u-thickness-um",
                  num(t0 * spread), "--background", "600=" + num(a0)}),
             0);
    std::vector<int> covered(routine.size(), 0), counted(routine.size(), 0);
    int rejected = 0;
    for (int trial = 0; trial < calibrations; ++trial) {
        const double common = random.normal() * reference / 100;
        QByteArray csv = "dose_kGy,absorbance,thickness_um,u_dose_percent\n";
        for (double d : levels)
            for (int f = 0; f < 4; ++f) {
                const auto [a, t] = film(d * (1 + common));
                csv += QStringLiteral("%1,%2,%3,%4\n")
                           .arg(num(d), num(a), num(t), num(reference))
                           .toUtf8();
            }
        const QString file = dir_.filePath(QStringLiteral("cal.csv"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(csv);
        out.close();
        QCOMPARE(run({"calibration", "import", file, "--batch", "B", "--head", "7", "--wavelength",
                      "600", "--reader-sd", num(readingSd)}),
                 0);
        const QString id = out_.trimmed();
        if (run({"calibration", "fit", id}) != 0) {
            ++rejected;
            continue;
        }
        for (size_t j = 0; j < routine.size(); ++j)
            for (int f = 0; f < filmsPerDose; ++f) {
                const auto [a, t] = film(routine[j]);
                QCOMPARE(run({"dose", "--calibration", id, "--absorbance", num(a), "--thickness-um",
                              num(t), "--u-thickness-um", num(gauge), "--reader-sd", num(readingSd),
                              "--json"}),
                         0);
                const QJsonObject o = QJsonDocument::fromJson(out_.toUtf8()).object();
                const double dose = o.value("dose_kGy").toDouble(), u = o.value("U_kGy").toDouble();
                QVERIFY(o.value("k").toDouble() >= 2);
                ++counted[j];
                if (std::fabs(dose - routine[j]) <= u)
                    ++covered[j];
            }
    }
    QVERIFY2(rejected < calibrations / 10, qPrintable(QString::number(rejected)));
    for (size_t j = 0; j < routine.size(); ++j) {
        const double coverage = 100.0 * covered[j] / counted[j];
        qInfo("%g kGy: %.1f %% of %d", routine[j], coverage, counted[j]);
        QVERIFY2(coverage >= 92 && coverage <= 98.5, qPrintable(QString::number(coverage)));
    }
}

QTEST_GUILESS_MAIN(TestDoseCoverageCli)
#include "test_dose_coverage_cli.moc"
