// One sample and one reading: clamping, the sum, scaling, the gain and the smoothing.

#include "FakeDriver.h"
#include "app/LabelModel.h"
#include "app/ReaderState.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace qvr;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Records the range code the reading asks for, which the shared fake does not log.
class RangeDriver : public test::FakeDriver {
public:
    int cbAIn(int board, int chan, int range, std::int16_t& value) override {
        ranges.append(range);
        return FakeDriver::cbAIn(board, chan, range, value);
    }
    QList<int> ranges;
};

struct Rig {
    Rig() {
        state.rdrGain = 1.0;
        state.oldv1 = 100; // far from every reading: no smoothing unless a test wants it
        driver.logAnalog = false;
    }
    ReaderState state;
    RangeDriver driver;
    LabelModel labels;
    HeadLines lines{state, driver, labels};
    Acquisition acq{lines};
};

} // namespace

class TestAcquisition : public QObject {
    Q_OBJECT
private slots:
    void oneSample() {
        Rig r;
        r.driver.logAnalog = true;
        r.state.BoardNum = 4;
        r.driver.counts = {2731};
        r.driver.inputs = 2; // button pressed, film in
        QCOMPARE(int(r.acq.getADC()), 2731);
        QCOMPARE(r.labels.text(Label::lblADC), QStringLiteral("2731"));
        QCOMPARE(r.labels.text(Label::lblButton), QStringLiteral("Button Down"));
        QCOMPARE(r.labels.text(Label::lblPresent), QStringLiteral("Film"));
        // One conversion of channel 0 at +-5 V, then two reads of the head port.
        QCOMPARE(r.driver.calls.size(), 3);
        QCOMPARE(r.driver.calls[0].kind, QStringLiteral("cbAIn"));
        QCOMPARE(r.driver.calls[0].board, 4);
        QCOMPARE(r.driver.calls[0].port, 0);
        QCOMPARE(r.driver.ranges, QList<int>{BIP5VOLTS});
        for (int i : {1, 2}) {
            QCOMPARE(r.driver.calls[i].kind, QStringLiteral("cbDIn"));
            QCOMPARE(r.driver.calls[i].board, 4);
            QCOMPARE(r.driver.calls[i].port, AUXPORT);
        }
    }

    void sampleShowsTheRawCount_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("shown");
        QTest::newRow("zero") << 0 << "0";
        QTest::newRow("full scale") << 4095 << "4095";
        QTest::newRow("above range") << 5000 << "5000";
        QTest::newRow("below range") << -3 << "-3";
        QTest::newRow("no leading zeros") << 7 << "7";
    }
    void sampleShowsTheRawCount() {
        QFETCH(int, count);
        QFETCH(QString, shown);
        Rig r;
        r.driver.counts = {static_cast<std::int16_t>(count)};
        QCOMPARE(int(r.acq.getADC()), count);
        QCOMPARE(r.labels.text(Label::lblADC), shown);
    }

    // A conversion that fails without touching the count contributes 0.
    void failedConversionGivesZero() {
        Rig r;
        r.driver.status = 1;
        r.driver.count = 3000;
        QCOMPARE(int(r.acq.getADC()), 0);
        QCOMPARE(int(r.state.ULStat), 1);
        QCOMPARE(r.labels.text(Label::lblADC), QStringLiteral("0"));
    }

    void present_data() {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<bool>("film");
        for (int s : {1, 3, 5, 7, -1})
            QTest::addRow("status %d", s) << s << false;
        for (int s : {0, 2, 4, 6, 0x7ffe})
            QTest::addRow("status %d", s) << s << true;
    }
    void present() {
        QFETCH(int, inputs);
        QFETCH(bool, film);
        Rig r;
        QCOMPARE(r.labels.text(Label::lblPresent), QStringLiteral("No film"));
        r.driver.inputs = static_cast<std::int16_t>(inputs);
        QCOMPARE(r.acq.present(), film);
        QCOMPARE(r.labels.text(Label::lblPresent),
                 film ? QStringLiteral("Film") : QStringLiteral("No Film"));
        QCOMPARE(int(r.state.Status), inputs);
    }

    void readingTakesFiveThousandSamples() {
        Rig r;
        r.driver.logAnalog = true;
        r.acq.getVoltages();
        QCOMPARE(r.driver.countOf(QStringLiteral("cbAIn")), 5000);
        QCOMPARE(r.driver.countOf(QStringLiteral("cbDIn")), 10000);
        QCOMPARE(r.driver.countOf(QStringLiteral("cbDOut")), 0);
        QVERIFY(r.driver.counts.empty());
    }

    void scaling_data() {
        QTest::addColumn<QList<int>>("counts"); // repeated to fill the 5000 samples
        QTest::addColumn<QString>("volt");
        QTest::addColumn<double>("v1");
        QTest::newRow("every sample 4095") << QList<int>{4095} << "5.0000" << 5.0;
        QTest::newRow("every sample 0") << QList<int>{0} << "-5.0000" << -5.0;
        QTest::newRow("above range clamps to 4095") << QList<int>{5000} << "5.0000" << 5.0;
        QTest::newRow("16-bit maximum clamps") << QList<int>{32767} << "5.0000" << 5.0;
        QTest::newRow("below range clamps to 0") << QList<int>{-3} << "-5.0000" << -5.0;
        QTest::newRow("16-bit minimum clamps") << QList<int>{-32768} << "-5.0000" << -5.0;
        QTest::newRow("mean 2047.5 is exactly 0 V") << QList<int>{2047, 2048} << "0.0000" << 0.0;
        QTest::newRow("mixed out of range clamps both ways")
            << QList<int>{5000, -3} << "0.0000" << 0.0;
        QTest::newRow("mean count 2457 is 1 V") << QList<int>{2457} << "1.0000" << 1.0;
        QTest::newRow("mid-scale count 2048") << QList<int>{2048} << "0.0012" << 2048 / 409.5 - 5.0;
    }
    void scaling() {
        QFETCH(QList<int>, counts);
        QFETCH(QString, volt);
        QFETCH(double, v1);
        Rig r;
        for (int i = 0; i < kSamplesPerReading; ++i)
            r.driver.counts.push_back(static_cast<std::int16_t>(counts[i % counts.size()]));
        r.acq.getVoltages();
        QCOMPARE(r.labels.text(Label::lblVolt), volt);
        QCOMPARE(r.state.v1, v1);
        QCOMPARE(r.state.oldv1, v1);
    }

    // The largest sum, 5000 x 4095, is summed without loss.
    void fullScaleSumIsExact() {
        Rig r;
        r.driver.count = 4095;
        r.acq.getVoltages();
        QCOMPARE(r.state.v1, 5.0);
        r.driver.count = 4094;
        r.state.oldv1 = 100;
        r.acq.getVoltages();
        QCOMPARE(r.state.v1, 4094 / 409.5 - 5.0);
    }

    // A driver that fails every conversion, leaving the count alone, reads -5 V.
    void deadConverterReadsMinusFive() {
        Rig r;
        r.driver.status = -1;
        r.driver.count = 3000;
        r.acq.getVoltages();
        QCOMPARE(r.labels.text(Label::lblVolt), QStringLiteral("-5.0000"));
        QCOMPARE(r.state.v1, -5.0);
    }

    void gainDividesTheReadingNotTheVoltage_data() {
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("volts");
        QTest::addColumn<QString>("volt");
        QTest::addColumn<double>("v1");
        QTest::newRow("gain 2, 1.5 V") << 2.0 << 1.5 << "1.5000" << 0.75;
        QTest::newRow("gain 1.9, 5 V") << 1.9 << 5.0 << "5.0000" << 5.0 / 1.9;
        QTest::newRow("gain 0.5, -5 V") << 0.5 << -5.0 << "-5.0000" << -10.0;
        QTest::newRow("tiny gain") << 1e-300 << 1.0 << "1.0000" << 1e300;
    }
    void gainDividesTheReadingNotTheVoltage() {
        QFETCH(double, gain);
        QFETCH(double, volts);
        QFETCH(QString, volt);
        QFETCH(double, v1);
        Rig r;
        r.state.rdrGain = gain;
        r.driver.queueVolts(volts);
        r.acq.getVoltages();
        QCOMPARE(r.labels.text(Label::lblVolt), volt);
        QCOMPARE(r.state.v1, v1);
    }

    // No gain may turn the reading into infinity; NaN is what every display shows as "Error".
    void unusableGainGivesNoNumber_data() {
        QTest::addColumn<double>("gain");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative zero") << -0.0;
        QTest::newRow("negative") << -1.9;
        QTest::newRow("NaN") << kNaN;
        QTest::newRow("infinity") << kInf;
        QTest::newRow("minus infinity") << -kInf;
        QTest::newRow("so small the quotient overflows") << 1e-310;
    }
    void unusableGainGivesNoNumber() {
        QFETCH(double, gain);
        Rig r;
        r.state.rdrGain = gain;
        r.state.oldv1 = 0;
        r.driver.queueVolts(4.0);
        r.acq.getVoltages();
        QVERIFY(std::isnan(r.state.v1));
        QVERIFY(std::isnan(r.state.oldv1));
        QCOMPARE(r.labels.text(Label::lblVolt), QStringLiteral("4.0000"));

        // Once the gain is good the next reading stands on its own.
        r.state.rdrGain = 2.0;
        r.driver.queueVolts(1.0);
        r.acq.getVoltages();
        QCOMPARE(r.state.v1, 0.5);
        QCOMPARE(r.state.oldv1, 0.5);
    }

    void smoothing_data() {
        QTest::addColumn<double>("oldv1");
        QTest::addColumn<double>("volts"); // gain 1: the reading before smoothing
        QTest::addColumn<double>("v1");
        QTest::newRow("0.015 above: mean") << 0.015 << 0.0 << 0.0075;
        QTest::newRow("0.015 below: mean") << -0.015 << 0.0 << -0.0075;
        QTest::newRow("0.0199 apart: mean") << 0.0199 << 0.0 << 0.00995;
        QTest::newRow("0.02 above: stands") << 0.02 << 0.0 << 0.0;
        QTest::newRow("0.02 below: stands") << -0.02 << 0.0 << 0.0;
        QTest::newRow("0.5 apart: stands") << 1.5 << 1.0 << 1.0;
        QTest::newRow("at 1 V, 0.02 below: stands") << 0.98 << 1.0 << 1.0;
        QTest::newRow("at 1 V, 0.02 above: stands") << 1.02 << 1.0 << 1.0;
        QTest::newRow("at 1 V, 0.01 below: mean") << 0.99 << 1.0 << 0.995;
        QTest::newRow("same value") << 1.0 << 1.0 << 1.0;
        QTest::newRow("first reading, small, is halved") << 0.0 << 0.01 << 0.005;
        QTest::newRow("first reading, large, stands") << 0.0 << -0.5 << -0.5;
    }
    void smoothing() {
        QFETCH(double, oldv1);
        QFETCH(double, volts);
        QFETCH(double, v1);
        Rig r;
        r.state.oldv1 = oldv1;
        r.driver.queueVolts(volts);
        r.acq.getVoltages();
        QVERIFY2(std::fabs(r.state.v1 - v1) < 1e-12,
                 qPrintable(QString::number(r.state.v1, 'g', 17)));
        QCOMPARE(r.state.oldv1, r.state.v1); // the smoothed value is the next reference
    }

    // Each reading is smoothed against the one before, smoothed or not.
    void smoothingChainsReadings() {
        Rig r;
        r.state.oldv1 = 0;
        r.driver.queueVolts(1.0);  // stands: 1.0
        r.driver.queueVolts(1.01); // mean with 1.0: 1.005
        r.driver.queueVolts(1.02); // mean with 1.005: 1.0125
        r.driver.queueVolts(0.5);  // stands
        const QList<double> expected{1.0, 1.005, 1.0125, 0.5};
        for (double e : expected) {
            r.acq.getVoltages();
            QVERIFY2(std::fabs(r.state.v1 - e) < 1e-9,
                     qPrintable(QString::number(r.state.v1, 'g', 17)));
            QCOMPARE(r.state.oldv1, r.state.v1);
        }
    }

    // The voltage label shows the unsmoothed voltage.
    void voltageLabelIsNotSmoothed() {
        Rig r;
        r.state.oldv1 = 1.01;
        r.driver.queueVolts(1.0);
        r.acq.getVoltages();
        QCOMPARE(r.labels.text(Label::lblVolt), QStringLiteral("1.0000"));
        QVERIFY(std::fabs(r.state.v1 - 1.005) < 1e-12);
    }
};

QTEST_GUILESS_MAIN(TestAcquisition)
#include "test_acquisition.moc"
