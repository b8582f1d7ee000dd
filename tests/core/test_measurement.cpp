// One sample, one reading (clamping, the sum, scaling, the gain, the smoothing), zeroing with
// its cautions and the absorbance written to A, with the reading timer.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "RecordingMessageSink.h"
#include "core/LabelModel.h"
#include "core/Messages.h"
#include "core/ReaderState.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"

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
        tmrRead->setInterval(600);
    }
    ReaderState state;
    RangeDriver driver;
    LabelModel labels;
    HeadLines lines{state, driver, labels};
    Acquisition acq{lines};
    test::ManualClock clock;
    std::unique_ptr<Timer> tmrRead = clock.createTimer();
    test::RecordingMessageSink messages;
    Measurement m{acq, *tmrRead, messages};
};

} // namespace

class TestMeasurement : public QObject {
    Q_OBJECT
private slots:
    void oneSample() {
        Rig r;
        r.state.BoardNum = 4;
        r.driver.counts = {2731};
        r.driver.inputs = 2; // button pressed, film in
        QCOMPARE(int(r.acq.getADC()), 2731);
        QCOMPARE(r.labels.text(Label::lblButton), QStringLiteral("Button Down"));
        QCOMPARE(r.labels.text(Label::lblPresent), QStringLiteral("Film"));
        // One conversion of channel 0 at +-5 V, then two reads of the head port.
        QStringList calls;
        for (const auto& c : r.driver.calls)
            calls << QStringLiteral("%1 %2 %3").arg(c.kind).arg(c.board).arg(c.port);
        const QString din = QStringLiteral("cbDIn 4 %1").arg(AUXPORT);
        QCOMPARE(calls, (QStringList{"cbAIn 4 0", din, din}));
        QCOMPARE(r.driver.ranges, QList<int>{BIP5VOLTS});
    }

    // The raw count is shown unclamped; a conversion that failed shows no number.
    void sampleShowsTheRawCount_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("text");
        QTest::newRow("above range") << 5000 << 0 << 5000 << "5000";
        QTest::newRow("below range") << -3 << 0 << -3 << "-3";
        QTest::newRow("failed conversion") << 3000 << 1 << 0 << "Error";
    }
    void sampleShowsTheRawCount() {
        QFETCH(int, count);
        QFETCH(int, status);
        QFETCH(int, shown);
        QFETCH(QString, text);
        Rig r;
        r.driver.count = static_cast<std::int16_t>(count);
        r.driver.status = status;
        QCOMPARE(int(r.acq.getADC()), shown);
        QCOMPARE(r.labels.text(Label::lblADC), text);
        QCOMPARE(int(r.state.ULStat), status);
    }

    void present_data() {
        QTest::addColumn<int>("inputs");
        for (int s : {1, 0, -1, 6})
            QTest::addRow("status %d", s) << s;
    }
    void present() {
        QFETCH(int, inputs);
        const bool film = !(inputs & 1); // the switch line is low with film in
        Rig r;
        r.driver.inputs = static_cast<std::int16_t>(inputs);
        QCOMPARE(r.acq.present(), film);
        QCOMPARE(r.labels.text(Label::lblPresent),
                 film ? QStringLiteral("Film") : QStringLiteral("No Film"));
        QCOMPARE(int(r.state.Status), inputs);
    }

    void scaling_data() {
        QTest::addColumn<QList<int>>("counts"); // repeated to fill the 5000 samples
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("volt");
        QTest::addColumn<double>("v1");
        QTest::addColumn<int>("conversions");
        // 5000 x 4095 overflows anything narrower than 32 bits.
        constexpr int all = kSamplesPerReading;
        QTest::newRow("above range clamps") << QList<int>{5000} << 0 << "5.0000" << 5.0 << all;
        QTest::newRow("below range clamps") << QList<int>{-32768} << 0 << "-5.0000" << -5.0 << all;
        QTest::newRow("mean 2047.5 is exactly 0 V")
            << QList<int>{2047, 2048} << 0 << "0.0000" << 0.0 << all;
        QTest::newRow("each sample clamps, not the sum")
            << QList<int>{5000, -3} << 0 << "0.0000" << 0.0 << all;
        // A failed conversion ends the reading at once, and it is no value.
        QTest::newRow("dead converter") << QList<int>{3000} << -1 << "Error" << qQNaN() << 1;
    }
    void scaling() {
        QFETCH(QList<int>, counts);
        QFETCH(int, status);
        QFETCH(QString, volt);
        QFETCH(double, v1);
        QFETCH(int, conversions);
        Rig r;
        r.driver.status = status;
        r.driver.count = static_cast<std::int16_t>(counts[0]);
        if (counts.size() > 1)
            for (int i = 0; i < kSamplesPerReading; ++i)
                r.driver.counts.push_back(static_cast<std::int16_t>(counts[i % counts.size()]));
        r.acq.getVoltages();
        QCOMPARE(r.labels.text(Label::lblVolt), volt);
        QCOMPARE(r.state.v1, v1);
        QCOMPARE(r.state.oldv1, v1);
        QCOMPARE(r.driver.countOf(QStringLiteral("cbAIn")), conversions);
    }

    // The gain divides the reading, not the voltage label, and smoothing uses the band 0.02.
    void reading_data() {
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("oldv1");
        QTest::addColumn<double>("volts");
        QTest::addColumn<double>("v1"); // NaN: no number, which every display shows as "Error"
        QTest::newRow("gain 2, 1.5 V") << 2.0 << 100.0 << 1.5 << 0.75;
        QTest::newRow("tiny gain") << 1e-300 << 100.0 << 1.0 << 1e300;
        // No gain may turn the reading into infinity.
        QTest::newRow("gain 0") << 0.0 << 0.0 << 4.0 << kNaN;
        QTest::newRow("negative gain") << -1.9 << 0.0 << 4.0 << kNaN;
        QTest::newRow("NaN gain") << kNaN << 0.0 << 4.0 << kNaN;
        QTest::newRow("infinite gain") << kInf << 0.0 << 4.0 << kNaN;
        QTest::newRow("quotient overflows") << 1e-310 << 0.0 << 4.0 << kNaN;
        QTest::newRow("0.0199 apart: mean") << 1.0 << 0.0199 << 0.0 << 0.00995;
        QTest::newRow("0.02 above: stands") << 1.0 << 0.02 << 0.0 << 0.0;
        QTest::newRow("0.02 below: stands") << 1.0 << -0.02 << 0.0 << 0.0;
        QTest::newRow("at 1 V, 0.02 below: stands") << 1.0 << 0.98 << 1.0 << 1.0;
        QTest::newRow("first reading, small, is halved") << 1.0 << 0.0 << 0.01 << 0.005;
    }
    void reading() {
        QFETCH(double, gain);
        QFETCH(double, oldv1);
        QFETCH(double, volts);
        QFETCH(double, v1);
        Rig r;
        r.state.rdrGain = gain;
        r.state.oldv1 = oldv1;
        r.driver.queueVolts(volts);
        r.acq.getVoltages();
        QCOMPARE(r.labels.text(Label::lblVolt), QString::number(volts, 'f', 4));
        if (std::isnan(v1))
            QVERIFY(std::isnan(r.state.v1));
        else
            QVERIFY2(std::fabs(r.state.v1 - v1) <= 1e-12 * std::fabs(v1) + 1e-12,
                     qPrintable(QString::number(r.state.v1, 'g', 17)));
        QCOMPARE(r.state.oldv1, r.state.v1); // the next reference, NaN included

        // Once the gain is good the next reading stands on its own.
        r.state.rdrGain = 2.0;
        r.driver.queueVolts(1.0);
        r.acq.getVoltages();
        QCOMPARE(r.state.v1, 0.5);
    }

    void zeroCautions_data() {
        QTest::addColumn<double>("volts"); // gain 5
        QTest::addColumn<QString>("zero");
        QTest::addColumn<int>("caution"); // 0: none
        QTest::newRow("0.1: light path") << 0.5 << "0.1000" << 1011;
        QTest::newRow("0.2: dim lamp") << 1.0 << "0.2000" << 1010;
        QTest::newRow("0.3999: dim lamp") << 1.9995 << "0.3999" << 1010;
        QTest::newRow("0.4: none") << 2.0 << "0.4000" << 0;
    }
    void zeroCautions() {
        QFETCH(double, volts);
        QFETCH(QString, zero);
        QFETCH(int, caution);
        Rig r;
        r.state.rdrGain = 5.0;
        r.driver.queueVolts(volts);
        r.m.zero();
        QVERIFY(std::fabs(r.state.z1 - volts / 5.0) < 1e-6); // one count in the sum: 5e-7 V
        QCOMPARE(r.labels.text(Label::lblZero), zero);
        QCOMPARE(r.messages.messages, caution ? QStringList{qvr::text(caution)} : QStringList{});
        QCOMPARE(r.labels.text(Label::A), QStringLiteral("Zeroing"));
        QVERIFY(r.tmrRead->isEnabled());
    }

    void zeroStopsTheReadingTimerWhileItWorks() {
        Rig r;
        r.tmrRead->setEnabled(true);
        bool enabledInside = false;
        r.driver.countSource = [&] {
            enabledInside |= r.tmrRead->isEnabled();
            return std::int16_t(2100);
        };
        r.messages.whileShown = [&](const QString&) { enabledInside |= r.tmrRead->isEnabled(); };
        r.m.zero();
        QVERIFY(!enabledInside);
        QCOMPARE(r.messages.messages.size(), 1);
        QVERIFY(r.tmrRead->isEnabled());
    }

    // Zeros counts the zeros taken; a failed zero is none.
    void zerosCountsOnlyTheZerosTaken() {
        Rig r;
        QCOMPARE(r.labels.text(Label::Zeros), QStringLiteral("0"));
        QVERIFY(r.m.zero());
        QCOMPARE(r.labels.text(Label::Zeros), QStringLiteral("1"));
        r.driver.status = 9; // the card refuses the reading
        QVERIFY(!r.m.zero());
        QCOMPARE(r.labels.text(Label::Zeros), QStringLiteral("1"));
        r.driver.status = 0;
        QVERIFY(r.m.zero());
        QCOMPARE(r.labels.text(Label::Zeros), QStringLiteral("2"));
    }

    void absorbance_data() {
        QTest::addColumn<double>("z1");
        QTest::addColumn<double>("volts"); // gain 1
        QTest::addColumn<QString>("shown");
        QTest::newRow("3.0 exactly") << 4.0 << 1.0 << " 3.000";
        QTest::newRow("more light than at the zero") << 1.0 << 1.5 << "-0.500";
    }
    void absorbance() {
        QFETCH(double, z1);
        QFETCH(double, volts);
        QFETCH(QString, shown);
        Rig r;
        r.state.z1 = z1;
        r.driver.queueVolts(volts);
        r.m.getA();
        QCOMPARE(r.labels.text(Label::A), shown);
        QCOMPARE(r.state.z1, z1);
        QVERIFY(r.tmrRead->isEnabled());
        QVERIFY(r.messages.messages.isEmpty());
    }

    // Zero and A both take the smoothed reading, each smoothed against the one before (not
    // the raw one); A keeps its text through later zeros.
    void smoothedReadingsAndTheTextOfA() {
        Rig r;
        r.state.oldv1 = 1.01;
        r.driver.queueVolts(1.0);   // smoothed: 1.005
        r.driver.queueVolts(1.015); // smoothed: 1.01
        r.driver.queueVolts(0.5);   // stands
        r.m.zero();
        QCOMPARE(r.labels.text(Label::lblZero), QStringLiteral("1.0050"));
        r.m.getA();
        QCOMPARE(r.labels.text(Label::A), QStringLiteral("-0.005"));
        r.m.getA();
        QCOMPARE(r.labels.text(Label::A), QStringLiteral(" 0.505"));
        r.m.zero();
        QCOMPARE(r.labels.text(Label::A), QStringLiteral(" 0.505"));
    }
};

QTEST_GUILESS_MAIN(TestMeasurement)
#include "test_measurement.moc"
