// Dose and its uncertainty on a hand-computed case, a record's flags, the CSV import, the
// reading acceptance rules and the canonical text every database must reproduce.

#include "dose/core/Batch.h"
#include "dose/core/Canonical.h"
#include "dose/core/CsvPoints.h"
#include "dose/core/Distributions.h"
#include "dose/core/Dose.h"
#include "dose/core/DoseText.h"
#include "dose/core/FlagLegend.h"
#include "dose/core/JobSummary.h"
#include "dose/core/LabSettings.h"
#include "dose/core/NiceScale.h"
#include "dose/core/ReaderCheck.h"
#include "dose/core/ReadingRules.h"
#include "dose/core/Record.h"

#include <QFile>
#include <QTest>
#include <cmath>

using namespace qvr::dose;

namespace {

// D = 1 + 0.5 k over 1..50 kGy, with a made-up covariance.
Fit straightFit() {
    Fit f;
    f.model = Model::Poly1;
    f.coefficients = {1, 0.5};
    f.covariance = {0.01, -0.001, -0.001, 0.0004};
    f.referencePercent = 1.2;
    f.reproducibilityPercent = 2.0;
    f.doseLo = 1;
    f.doseHi = 50;
    f.levelDoses = {1, 50};
    f.levelResponses = {0, 98}; // valid from 1 to 50 kGy
    f.budget = 1;
    return f;
}

// The same curve for the budget by dose: film-to-film 2 % of the response with 10 dof, the
// certificate's 2.5 % at 1 kGy and 1 % at 50 kGy, 8 dof of the fit, calibration films read
// with a spread of 0.002.
Fit budgetFit() {
    Fit f = straightFit();
    f.budget = 2;
    f.reproducibility.a = 0.02;
    f.reproducibility.dof = 10;
    f.levelReferencePercent = {2.5, 1.0};
    f.fitDof = 8;
    f.readerSd = 0.002;
    return f;
}

void near(double got, double want, const char* what) {
    QVERIFY2(
        std::fabs(got - want) <= 1e-5 * std::fabs(want),
        qPrintable(QStringLiteral("%1: %2, expected %3").arg(what).arg(got, 0, 'g', 10).arg(want)));
}

} // namespace

class TestDoseCore : public QObject {
    Q_OBJECT
private slots:
    // Axis ticks a person reads: 1-2-5 steps, ends on whole ticks around the data.
    void niceScales_data() {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<double>("scaleLo");
        QTest::addColumn<double>("scaleHi");
        QTest::addColumn<double>("step");
        QTest::newRow("below zero") << -0.3 << 27.8 << -10.0 << 30.0 << 10.0;
        QTest::newRow("calibration doses") << 1.0 << 50.0 << 0.0 << 50.0 << 10.0;
        QTest::newRow("responses") << 0.9 << 17.3 << 0.0 << 20.0 << 5.0;
        QTest::newRow("residuals") << -2.4 << 1.7 << -3.0 << 2.0 << 1.0;
        QTest::newRow("absorbance") << 0.998 << 1.0041 << 0.998 << 1.006 << 0.002;
        QTest::newRow("one value") << 5.0 << 5.0 << 4.4 << 5.6 << 0.2;
        QTest::newRow("reversed") << 10.0 << 0.0 << 0.0 << 10.0 << 2.0;
    }
    void niceScales() {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(double, scaleLo);
        QFETCH(double, scaleHi);
        QFETCH(double, step);
        const NiceScale s = niceScale(lo, hi);
        QVERIFY2(std::abs(s.step - step) < 1e-12 && std::abs(s.lo - scaleLo) < 1e-9 &&
                     std::abs(s.hi - scaleHi) < 1e-9,
                 qPrintable(QStringLiteral("%1 to %2 by %3").arg(s.lo).arg(s.hi).arg(s.step)));
        QVERIFY(s.ticks() >= 3 && s.ticks() <= 12);
    }

    // One legend: every flag the program gives is explained, and the README, the guide and
    // the man page list each.
    void everyFlagHasOneMeaningEverywhere() {
        QStringList given{QStringLiteral("training"),           QStringLiteral("simulated"),
                          QStringLiteral("reread_3"),           kCheckFailedAfter,
                          QStringLiteral("outside_window"),     QStringLiteral("undecided"),
                          QStringLiteral("below_dmin"),         QStringLiteral("above_dmax"),
                          QStringLiteral("wavelength_mismatch")};
        for (Validity v :
             {Validity::BelowRange, Validity::AboveRange, Validity::NoDose, Validity::OutsideRange})
            given << validityFlag(v);
        for (const QString& f : given)
            QVERIFY2(flagMeaning(f), qPrintable(f));
        QVERIFY(!flagMeaning(QStringLiteral("frobnicated")));
        for (const char* doc : {"README.md", "docs/dose-guide.md", "docs/man/qvr100dose.1"}) {
            QFile file(QStringLiteral(QVR100_SOURCE_DIR "/") + QLatin1String(doc));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll()).remove(QStringLiteral("\\"));
            for (const FlagMeaning& m : flagLegend())
                QVERIFY2(text.contains(m.flag), qPrintable(QLatin1String(doc) + u' ' + m.flag));
        }
    }

    // A = 1.0, A0 = 0.1, t = 100 µm ± 2: k = 9 mm-1, D = 5.5 kGy, slope 0.5 kGy mm.
    void uncertaintyComponents_data() {
        QTest::addColumn<double>("readingSd");
        QTest::addColumn<double>("reading");  // %
        QTest::addColumn<double>("expanded"); // kGy
        // fit: sqrt(0.01 - 18 * 0.001 + 81 * 0.0004) / 5.5 = 2.840094 %
        // reproducibility, thickness: 0.5 * 9 * 0.02 / 5.5 = 1.636364 % each
        // reading: 0.5 * (0.001 / sqrt 12) / 0.1 mm / 5.5 = 0.026243 %
        QTest::newRow("resolution only") << -1.0 << 0.0262432 << 0.4240666;
        // reading: 0.5 * sqrt((0.001 / sqrt 12)^2 + 0.004^2) / 0.1 / 5.5 = 0.364582 %
        QTest::newRow("spread of readings") << 0.004 << 0.3645822 << 0.4259490;
    }
    void uncertaintyComponents() {
        QFETCH(double, readingSd);
        QFETCH(double, reading);
        QFETCH(double, expanded);
        DoseInput in;
        in.absorbance = 1.0;
        in.a0 = 0.1;
        in.thicknessUm = 100;
        in.uThicknessUm = 2;
        if (readingSd >= 0)
            in.readingSd = readingSd;
        const DoseResult r = computeDose(straightFit(), in);
        near(r.response, 9, "response");
        near(r.dose, 5.5, "dose");
        near(r.components.fit, 2.840094, "fit");
        QCOMPARE(r.components.reference, 1.2);
        near(r.components.reproducibility, 1.636364, "reproducibility");
        near(r.components.thickness, 1.636364, "thickness");
        near(r.components.reading, reading, "reading");
        near(r.expanded, expanded, "U");
        QVERIFY(r.inRange);
    }

    // Each source once: a gauged film adds no thickness term (the calibration's scatter holds
    // it), readings add only their spread beyond the calibration's, the reference is the
    // certificate's at the dose, and k comes from the Welch-Satterthwaite dof.
    void budgetByDose_data() {
        QTest::addColumn<bool>("measured");
        QTest::addColumn<double>("readingSd");
        QTest::addColumn<double>("thickness"); // %
        QTest::addColumn<double>("reading");   // %
        QTest::addColumn<double>("dof");
        // reference: 2.5 + ln 5.5 / ln 50 x (1 - 2.5) = 1.846343 %; reproducibility 0.5 x 9 x
        // 0.02 / 5.5 = 1.636364 %; reading 0.5 x sqrt(0.004^2 - 0.002^2) / 0.1 / 5.5 = 0.314918 %
        // dof = u_c^4 / (2.840094^4 / 8 + 1.636364^4 / 10)
        QTest::newRow("gauged, readings spread more")
            << true << 0.004 << 0.0 << 0.314918 << 22.951756;
        QTest::newRow("nominal thickness") << false << 0.004 << 1.636364 << 0.314918 << 32.386375;
        QTest::newRow("readings spread less than the calibration's")
            << true << 0.001 << 0.0 << 0.0 << 22.633444;
    }
    void budgetByDose() {
        QFETCH(bool, measured);
        QFETCH(double, readingSd);
        QFETCH(double, thickness);
        QFETCH(double, reading);
        QFETCH(double, dof);
        DoseInput in;
        in.absorbance = 1.0;
        in.a0 = 0.1;
        in.thicknessUm = 100;
        in.uThicknessUm = 2;
        in.thicknessMeasured = measured;
        in.readingSd = readingSd;
        const DoseResult r = computeDose(budgetFit(), in);
        near(r.components.fit, 2.840094, "fit");
        near(r.components.reference, 1.846343, "reference");
        near(r.components.reproducibility, 1.636364, "reproducibility");
        QCOMPARE(r.components.thickness > 0, thickness > 0);
        if (thickness > 0)
            near(r.components.thickness, thickness, "thickness");
        QCOMPARE(r.components.reading > 0, reading > 0);
        if (reading > 0)
            near(r.components.reading, reading, "reading");
        near(r.dof, dof, "dof");
        QCOMPARE(r.coverage, coverageFactor(r.dof));
        QVERIFY(r.coverage > 2.05 && r.coverage < 2.2);
        near(r.expanded, r.coverage * 5.5 * r.components.combined() / 100, "U");
        QCOMPARE(r.budget, 2);
    }

    // k for 95.45 % against the GUM's table of Student's t.
    void coverageFactorFollowsDof_data() {
        QTest::addColumn<double>("dof");
        QTest::addColumn<double>("k");
        for (auto [nu, k] : std::initializer_list<std::pair<double, double>>{{1, 13.97},
                                                                             {2, 4.53},
                                                                             {3, 3.31},
                                                                             {5, 2.65},
                                                                             {10, 2.28},
                                                                             {20, 2.13},
                                                                             {50, 2.05},
                                                                             {100, 2.02},
                                                                             {1e6, 2.00}})
            QTest::addRow("%g", nu) << nu << k;
    }
    void coverageFactorFollowsDof() {
        QFETCH(double, dof);
        QFETCH(double, k);
        QVERIFY2(std::fabs(coverageFactor(dof) - k) < 0.006,
                 qPrintable(QString::number(coverageFactor(dof))));
        // The quick route lands where bisection of the tail does, fractional dof included.
        for (double nu : {dof, dof * 1.37, dof + 0.5})
            if (nu < 1e4) {
                const double exact = studentUpperQuantile((1 - kCoverageProbability) / 2, nu);
                QVERIFY2(std::fabs(coverageFactor(nu) - exact) <= 1e-9 * exact,
                         qPrintable(QString::number(nu)));
            }
    }

    void readingSpreadNeedsThree() {
        QVERIFY(!readingSpread({0.5, 0.51}));
        near(*readingSpread({0.5, 0.51, 0.52}), 0.01, "sd");
    }

    // Flags of a record: range by response, the job's decision rule, rereads, time window.
    void flags_data() {
        QTest::addColumn<double>("absorbance");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<double>("dmin");
        QTest::addColumn<double>("dmax");
        QTest::addColumn<int>("reread");
        QTest::addColumn<double>("hoursAfter");
        QTest::addColumn<QStringList>("flags");
        // D = 5.5, U = 0.424 (resolution only: one reading): D - U = 5.076, D + U = 5.924.
        QTest::newRow("clean") << 1.0 << "guarded" << 5.0 << 6.0 << 0 << 2.0
                               << QStringList{"training"};
        QTest::newRow("Dmin within U")
            << 1.0 << "guarded" << 5.2 << 6.0 << 0 << 2.0 << QStringList{"training", "undecided"};
        QTest::newRow("Dmax within U")
            << 1.0 << "guarded" << 5.0 << 5.8 << 0 << 2.0 << QStringList{"training", "undecided"};
        QTest::newRow("below Dmin with U")
            << 1.0 << "guarded" << 6.0 << 9.0 << 0 << 2.0 << QStringList{"training", "below_dmin"};
        QTest::newRow("above Dmax with U")
            << 1.0 << "guarded" << 1.0 << 5.0 << 0 << 2.0 << QStringList{"training", "above_dmax"};
        QTest::newRow("simple: D alone below")
            << 1.0 << "simple" << 5.6 << 9.0 << 0 << 2.0 << QStringList{"training", "below_dmin"};
        QTest::newRow("simple: D alone within")
            << 1.0 << "simple" << 5.2 << 5.8 << 0 << 2.0 << QStringList{"training"};
        // k = 100 past the highest level's 98; k = -0.5 below the lowest level's 0.
        QTest::newRow("above range") << 10.1 << "guarded" << 1.0 << 100.0 << 0 << 2.0
                                     << QStringList{"training", "above_range"};
        QTest::newRow("above range, Dmax within it")
            << 10.1 << "guarded" << 1.0 << 50.0 << 0 << 2.0
            << QStringList{"training", "above_range", "above_dmax"};
        QTest::newRow("below range, Dmin within it")
            << 0.05 << "guarded" << 1.0 << 50.0 << 0 << 2.0
            << QStringList{"training", "below_range", "below_dmin"};
        QTest::newRow("below range, Dmin above it") << 0.05 << "guarded" << 0.5 << 50.0 << 0 << 2.0
                                                    << QStringList{"training", "below_range"};
        QTest::newRow("second reread")
            << 1.0 << "guarded" << 5.0 << 6.0 << 2 << 2.0 << QStringList{"training", "reread_2"};
        QTest::newRow("read too soon") << 1.0 << "guarded" << 5.0 << 6.0 << 0 << 0.5
                                       << QStringList{"training", "outside_window"};
        QTest::newRow("read too late") << 1.0 << "guarded" << 5.0 << 6.0 << 0 << 30.0
                                       << QStringList{"training", "outside_window"};
    }
    void flags() {
        QFETCH(double, absorbance);
        QFETCH(QString, rule);
        QFETCH(double, dmin);
        QFETCH(double, dmax);
        QFETCH(int, reread);
        QFETCH(double, hoursAfter);
        QFETCH(QStringList, flags);
        Job job;
        job.training = true;
        job.dminKGy = dmin;
        job.dmaxKGy = dmax;
        job.rule = *ruleFromName(rule);
        Calibration c;
        c.windowMinHours = 1;
        c.windowMaxHours = 24;
        Record r;
        r.readAt = QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC);
        r.irradiatedAt = r.readAt.addSecs(static_cast<qint64>(-hoursAfter * 3600));
        r.readings = {{r.readAt, absorbance}};
        r.a0 = 0.1;
        r.thicknessUm = 100;
        r.uThicknessUm = 2;
        r.reread = reread;
        evaluateRecord(r, straightFit(), job, c);
        QCOMPARE(r.flags, flags);
        // The report's recomputation agrees with what was recorded under the same rule.
        QCOMPARE(currentFlags(r, job), flags);
    }

    void csvImport_data() {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("error"); // empty: accepted
        const QByteArray header = "dose_kGy,absorbance,thickness_um,u_dose_percent\n";
        QTest::newRow("good, any order, quoted, comments, CRLF")
            << QByteArray("# lot A\r\nthickness_um,dosimeter,absorbance,dose_kGy,u_dose_percent\r\n"
                          "50.1,\"F,1\",0.31,5,1.2\r\n\r\n50.0,F2,0.62,10,1.2\r\n")
            << QString();
        QTest::newRow("not a number") << header + "5,0.3,50,1.2\n10,abc,50,1.2\n"
                                      << "line 3: absorbance \"abc\" is not a number";
        QTest::newRow("zero dose") << header + "0,0.3,50,1.2\n"
                                   << "line 2: dose_kGy 0 is outside its range: above 0";
        QTest::newRow("negative thickness") << header + "5,0.3,-50,1.2\n"
                                            << "line 2: thickness_um -50 is outside its range";
        QTest::newRow("missing field") << header + "5,0.3,50,1.2\n\n10,0.6,50\n"
                                       << "line 4: 3 fields where the header has 4";
        QTest::newRow("unknown column") << QByteArray("dose_kGy,absorbance,thickness,x\n")
                                        << "line 1: unknown column \"thickness\"";
        QTest::newRow("no uncertainty")
            << QByteArray("dose_kGy,absorbance,thickness_um\n5,0.3,50\n")
            << "line 1: no u_dose_percent column";
        QTest::newRow("infinite") << header + "5,inf,50,1.2\n"
                                  << "line 2: absorbance \"inf\" is not a number";
        QTest::newRow("empty") << QByteArray("\n# nothing\n") << "the file is empty";
    }
    void csvImport() {
        QFETCH(QByteArray, csv);
        QFETCH(QString, error);
        const auto points = parsePointsCsv(csv, std::nullopt);
        if (error.isEmpty()) {
            QVERIFY2(points, qPrintable(points.error()));
            QCOMPARE(points->size(), size_t(2));
            QCOMPARE(points->at(0), (CalibrationPoint{"F,1", 5, 1.2, 0.31, 50.1}));
        } else {
            QVERIFY(!points);
            QVERIFY2(points.error().startsWith(error), qPrintable(points.error()));
        }
    }

    // The same films read at both wavelengths: one set of points per wavelength column.
    void csvByWavelength_data() {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("error"); // empty: 600 and 510 nm, two films
        const QByteArray rows = "5,0.31,0.22,50\n10,0.62,0.41,51\n";
        QTest::newRow("two wavelengths")
            << "dose_kGy,absorbance_600,absorbance_510,thickness_um\n" + rows << QString();
        QTest::newRow("a wavelength twice")
            << "dose_kGy,absorbance_600,absorbance_600,thickness_um\n" + rows
            << "line 1: column \"absorbance_600\" appears twice";
        QTest::newRow("three wavelengths")
            << QByteArray("dose_kGy,absorbance_600,absorbance_510,absorbance_550,thickness_um\n")
            << "line 1: 3 absorbance_NM columns: the head reads at two wavelengths";
        QTest::newRow("with a plain absorbance")
            << QByteArray("dose_kGy,absorbance,absorbance_510,thickness_um\n")
            << "line 1: both \"absorbance\" and absorbance_NM columns";
        QTest::newRow("not a wavelength")
            << QByteArray("dose_kGy,absorbance_60,absorbance_510,thickness_um\n")
            << "line 1: unknown column \"absorbance_60\"";
        QTest::newRow("bad second absorbance")
            << QByteArray("dose_kGy,absorbance_600,absorbance_510,thickness_um\n5,0.31,x,50\n")
            << "line 2: absorbance_510 \"x\" is not a number";
    }
    void csvByWavelength() {
        QFETCH(QByteArray, csv);
        QFETCH(QString, error);
        const auto file = parseCalibrationCsv(csv, 1.5);
        if (!error.isEmpty()) {
            QVERIFY(!file);
            QVERIFY2(file.error().startsWith(error), qPrintable(file.error()));
            return;
        }
        QVERIFY2(file, qPrintable(file.error()));
        QCOMPARE(file->wavelengthsNm, (std::vector<int>{600, 510}));
        QCOMPARE(file->points.size(), size_t(2));
        QCOMPARE(file->points[0][1], (CalibrationPoint{"", 10, 1.5, 0.62, 51}));
        QCOMPARE(file->points[1][1], (CalibrationPoint{"", 10, 1.5, 0.41, 51}));
        // A single-wavelength reader of the file refuses it rather than take one column.
        QVERIFY(!parsePointsCsv(csv, 1.5));
    }

    // Every reason a reading is refused, and the one case that is accepted.
    void readingRules_data() {
        QTest::addColumn<QVariantMap>("change"); // over a reader that is fit to read
        QTest::addColumn<bool>("training");
        QTest::addColumn<QString>("refusal");
        const QVariant missing;
        QTest::newRow("accepted") << QVariantMap{} << false << QString();
        QTest::newRow("simulated in training")
            << QVariantMap{{"Simulated", true}} << true << QString();
        QTest::newRow("simulated, not training")
            << QVariantMap{{"Simulated", true}} << false << "the reader runs on the simulated head";
        QTest::newRow("no State") << QVariantMap{{"State", missing}} << false
                                  << "the reader does not serve its State item";
        QTest::newRow("no Zeros") << QVariantMap{{"Zeros", missing}} << true
                                  << "the reader does not serve its Zeros item";
        QTest::newRow("fault") << QVariantMap{{"Fault", "lamp low"}} << true
                               << "the reader reports a fault: lamp low";
        QTest::newRow("zeroing") << QVariantMap{{"State", "zeroing"}} << false
                                 << "the reader is not reading (state: zeroing)";
        QTest::newRow("caution") << QVariantMap{{"State", "caution"}, {"Notice", "Caution: x"}}
                                 << true << "the reader's zero is cautioned (Caution: x)";
        QTest::newRow("no film") << QVariantMap{{"lblPresent", "No Film"}} << false
                                 << "no film in the head";
        QTest::newRow("wavelength") << QVariantMap{{"WL", "510 nm"}} << false
                                    << "the reader is at \"510 nm\"; the calibration is for 600 nm";
        QTest::newRow("head") << QVariantMap{{"lblSN", "1100"}} << false
                              << "the reader's head is \"1100\"; the calibration is for head 1234";
    }
    void readingRules() {
        QFETCH(QVariantMap, change);
        QFETCH(bool, training);
        QFETCH(QString, refusal);
        ReaderItems items{{"State", "reading"},   {"Fault", ""},    {"Simulated", false},
                          {"lblPresent", "Film"}, {"WL", "600 nm"}, {"lblSN", "1234"},
                          {"Zeros", "1"}};
        for (auto it = change.begin(); it != change.end(); ++it)
            if (it.value().isValid())
                items.insert(it.key(), it.value());
            else
                items.remove(it.key());
        const auto why = qvr::dose::refusal(items, {training, 600, QStringLiteral("1234")});
        if (refusal.isEmpty())
            QVERIFY2(!why, qPrintable(why.value_or(QString())));
        else
            QVERIFY2(why && why->startsWith(refusal),
                     qPrintable(why.value_or(QStringLiteral("accepted"))));
    }

    void servedAbsorbance_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value"); // NaN: refused
        QTest::newRow("padded") << " 0.512" << 0.512;
        QTest::newRow("negative") << "-0.045" << -0.045;
        QTest::newRow("zeroing") << "Zeroing" << qQNaN();
        QTest::newRow("over range") << ">3.0" << qQNaN();
        QTest::newRow("empty") << "" << qQNaN();
    }
    void servedAbsorbance() {
        QFETCH(QString, text);
        QFETCH(double, value);
        const auto a = qvr::dose::servedAbsorbance(text);
        QCOMPARE(bool(a), !std::isnan(value));
        if (a)
            QCOMPARE(*a, value);
    }

    // The exact bytes a batch hashes to: any database must render the same.
    void canonicalText() {
        Batch b;
        b.id = QStringLiteral("LOT \"A\"");
        b.description = QStringLiteral("line\nbreak");
        b.thicknessUm = 50.1;
        b.uThicknessUm = 1e-7;
        b.background = {{600, 0.12}, {510, -0.0}};
        b.operatorName = QStringLiteral("ana");
        b.createdAt =
            QDateTime(QDate(2026, 12, 7), QTime(10, 11, 12, 345), Qt::OffsetFromUTC, 3600);
        QCOMPARE(
            b.canonical(),
            QStringLiteral("{\"kind\":\"batch\",\"id\":\"LOT \\\"A\\\"\",\"description\":"
                           "\"line\\nbreak\",\"thickness_um\":50.1,\"u_thickness_um\":1e-07,"
                           "\"background\":{\"510\":0,\"600\":0.12},\"expires\":null,"
                           "\"operator\":\"ana\",\"created_at\":\"2026-12-07T09:11:12.345Z\"}"));
        QCOMPARE(numberText(0.1 + 0.2), QStringLiteral("0.30000000000000004"));
        QCOMPARE(numberText(qQNaN()), QStringLiteral("null"));
    }

    // U rounded to two significant digits and the dose to the same decimal place.
    void roundedAsAMetrologistWrites_data() {
        QTest::addColumn<double>("dose");
        QTest::addColumn<double>("u");
        QTest::addColumn<QString>("text");
        QTest::newRow("hundredths") << 6.2834 << 0.1764 << "6.28 ± 0.18 kGy (k = 2)";
        QTest::newRow("U rounds up a place") << 6.2834 << 0.0996 << "6.28 ± 0.10 kGy (k = 2)";
        QTest::newRow("tenths") << 12.345 << 1.234 << "12.3 ± 1.2 kGy (k = 2)";
        QTest::newRow("U rounds to ten") << 25.4 << 9.96 << "25 ± 10 kGy (k = 2)";
        QTest::newRow("tens") << 1234.5 << 123.0 << "1230 ± 120 kGy (k = 2)";
        QTest::newRow("small") << 0.012345 << 0.00456 << "0.0123 ± 0.0046 kGy (k = 2)";
        QTest::newRow("trailing zero kept") << 5.0 << 0.25 << "5.00 ± 0.25 kGy (k = 2)";
    }
    void roundedAsAMetrologistWrites() {
        QFETCH(double, dose);
        QFETCH(double, u);
        QFETCH(QString, text);
        QCOMPARE(doseAndU(dose, u), text);
    }

    // A read for a job that is not training needs the head's passing check at the wavelength
    // within the lab's interval, and no failed one since.
    void readerCheckInterval_data() {
        QTest::addColumn<QStringList>("checks"); // "pass|fail HH:mm nm", on 2026-12-07 UTC
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("now"); // UTC
        QTest::addColumn<QString>("refusal");
        QTest::newRow("same day") << QStringList{"pass 07:00 600"} << "day"
                                  << "UTC"
                                  << "2026-12-07T16:00:00Z"
                                  << "";
        QTest::newRow("the next day") << QStringList{"pass 07:00 600"} << "day"
                                      << "UTC"
                                      << "2026-12-08T06:00:00Z"
                                      << "the last passing filter check";
        QTest::newRow("another wavelength") << QStringList{"pass 07:00 510"} << "day"
                                            << "UTC"
                                            << "2026-12-07T16:00:00Z"
                                            << "head H%1 has no filter check at 600 nm";
        QTest::newRow("failed since") << QStringList{"pass 07:00 600", "fail 08:00 600"} << "day"
                                      << "UTC"
                                      << "2026-12-07T16:00:00Z"
                                      << "the last filter check of head H%1 at 600 nm (check 2";
        QTest::newRow("passed again")
            << QStringList{"pass 07:00 600", "fail 08:00 600", "pass 09:00 600"} << "day"
            << "UTC"
            << "2026-12-07T16:00:00Z"
            << "";
        // 23:30 and 00:30 UTC are 18:30 and 19:30 in New York: one lab day there.
        QTest::newRow("the lab's day, not UTC's") << QStringList{"pass 23:30 600"} << "day"
                                                  << "America/New_York"
                                                  << "2026-12-08T00:30:00Z"
                                                  << "";
        QTest::newRow("UTC's day") << QStringList{"pass 23:30 600"} << "day"
                                   << "UTC"
                                   << "2026-12-08T00:30:00Z"
                                   << "the last passing filter check";
        QTest::newRow("within 8 h") << QStringList{"pass 07:00 600"} << "8"
                                    << "UTC"
                                    << "2026-12-07T14:59:00Z"
                                    << "";
        QTest::newRow("past 8 h") << QStringList{"pass 07:00 600"} << "8"
                                  << "UTC"
                                  << "2026-12-07T15:01:00Z"
                                  << "the last passing filter check";
    }
    void readerCheckInterval() {
        QFETCH(QStringList, checks);
        QFETCH(QString, interval);
        QFETCH(QString, zone);
        QFETCH(QString, now);
        QFETCH(QString, refusal);
        // A serial holding a place marker stays as it is in the refusal.
        const QString head = QStringLiteral("H%1");
        std::vector<ReaderCheck> stored;
        for (const QString& c : checks) {
            const QStringList p = c.split(QLatin1Char(' '));
            ReaderCheck check;
            check.id = static_cast<qint64>(stored.size()) + 1;
            check.headSerial = head;
            check.passed = p[0] == u"pass";
            check.wavelengthNm = p[2].toInt();
            check.createdAt = QDateTime(QDate(2026, 12, 7),
                                        QTime::fromString(p[1], QStringLiteral("HH:mm")), Qt::UTC);
            stored.push_back(check);
        }
        const LabSettings lab = labSettings(
            {{1, "check_interval", interval, {}, {}, {}}, {2, "time_zone", zone, {}, {}, {}}});
        const auto why =
            checkRefusal(stored, head, 600, QDateTime::fromString(now, Qt::ISODate), lab);
        if (refusal.isEmpty())
            QVERIFY2(!why, qPrintable(why.value_or(QString())));
        else
            QVERIFY2(why && why->startsWith(refusal) && why->contains("head H%1 "),
                     qPrintable(why.value_or("allowed")));
    }

    void labSettingValues_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("levels raised") << "min_levels"
                                       << "7"
                                       << "7";
        QTest::newRow("levels lowered") << "min_levels"
                                        << "4"
                                        << "";
        QTest::newRow("per decade lowered") << "levels_per_decade"
                                            << "4"
                                            << "";
        QTest::newRow("films lowered") << "min_replicates"
                                       << "2"
                                       << "";
        QTest::newRow("films not a count") << "min_replicates"
                                           << "3.5"
                                           << "";
        QTest::newRow("interval day") << "check_interval"
                                      << "day"
                                      << "day";
        QTest::newRow("interval hours") << "check_interval"
                                        << "12.50"
                                        << "12.5";
        QTest::newRow("interval nothing") << "check_interval"
                                          << "0"
                                          << "";
        QTest::newRow("zone") << "time_zone"
                              << "Europe/Berlin"
                              << "Europe/Berlin";
        QTest::newRow("no such zone") << "time_zone"
                                      << "Mars/Olympus"
                                      << "";
        QTest::newRow("no such setting") << "coverage"
                                         << "2"
                                         << "";
    }
    void labSettingValues() {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QString, stored);
        const auto v = settingValue(name, value);
        QCOMPARE(bool(v), !stored.isEmpty());
        if (v)
            QCOMPARE(*v, stored);
    }

    // Reads outside the window, before a failed check, or without a dose are kept and shown but
    // never averaged or decided on; a read beyond the range may still decide conclusively.
    void summaryCountsOnlyWhatIsValid_data() {
        QTest::addColumn<QStringList>("reads"); // "DOSE" or a flag each
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("decision");
        // Dmin 5, Dmax 8, U 0.1 on every valid read.
        QTest::newRow("two valid") << QStringList{"6", "7"} << 2 << int(Decision::Pass);
        QTest::newRow("outside the window")
            << QStringList{"6", "outside_window"} << 1 << int(Decision::Pass);
        QTest::newRow("only outside the window")
            << QStringList{"outside_window"} << 0 << int(Decision::NoValidRead);
        QTest::newRow("before a failed check")
            << QStringList{"reader_check_failed_after"} << 0 << int(Decision::NoValidRead);
        QTest::newRow("blank") << QStringList{"below_range"} << 0 << int(Decision::NoValidRead);
        QTest::newRow("beyond the range above Dmax")
            << QStringList{"above_range above_dmax"} << 0 << int(Decision::Fail);
        QTest::newRow("legacy outside range")
            << QStringList{"6", "outside_range below_dmin"} << 1 << int(Decision::Pass);
    }
    void summaryCountsOnlyWhatIsValid() {
        QFETCH(QStringList, reads);
        QFETCH(int, n);
        QFETCH(int, decision);
        Job job;
        job.dminKGy = 5;
        job.dmaxKGy = 8;
        std::vector<Record> records;
        for (const QString& read : reads) {
            Record r;
            r.id = static_cast<qint64>(records.size()) + 1;
            r.dosimeter = QStringLiteral("D1");
            bool number = false;
            const double dose = read.toDouble(&number);
            r.result.inRange =
                number || read == u"outside_window" || read == u"reader_check_failed_after";
            r.result.dose = number ? dose : (r.result.inRange ? 6.5 : qQNaN());
            r.result.expanded = r.result.inRange ? 0.1 : qQNaN();
            if (!number)
                r.flags = read.split(QLatin1Char(' '));
            records.push_back(r);
        }
        const JobSummary s = summarize(job, records);
        QCOMPARE(s.dosimeters.size(), size_t(1));
        QCOMPARE(s.dosimeters[0].n, n);
        QCOMPARE(int(s.dosimeters[0].decision), decision);
        QCOMPARE(s.dosimeters[0].reads, static_cast<int>(reads.size()));
    }
};

QTEST_GUILESS_MAIN(TestDoseCore)
#include "test_dose_core.moc"
