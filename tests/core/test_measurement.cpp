// Zeroing with its cautions, and the absorbance written to A, with the reading timer.

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

struct Rig {
    Rig() {
        state.rdrGain = 1.0;
        state.oldv1 = 100; // far from every reading: no smoothing unless a test wants it
        tmrRead->setInterval(600);
    }
    ReaderState state;
    test::FakeDriver driver;
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
    void zeroCautions_data() {
        QTest::addColumn<double>("volts"); // gain 5
        QTest::addColumn<QString>("zero");
        QTest::addColumn<int>("caution"); // 0: none
        QTest::newRow("0.1: light path") << 0.5 << "0.1000" << 1011;
        QTest::newRow("0.2: dim lamp") << 1.0 << "0.2000" << 1010;
        QTest::newRow("0.3999: dim lamp") << 1.9995 << "0.3999" << 1010;
        QTest::newRow("0.4: none") << 2.0 << "0.4000" << 0;
        QTest::newRow("-1: light path") << -5.0 << "-1.0000" << 1011;
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

    void absorbance_data() {
        QTest::addColumn<double>("z1");
        QTest::addColumn<double>("volts"); // gain 1
        QTest::addColumn<QString>("shown");
        QTest::newRow("3.0 exactly") << 4.0 << 1.0 << " 3.000";
        QTest::newRow("just above 3.0") << 4.0001 << 1.0 << ">3.0";
        QTest::newRow("0.5") << 1.0 << 0.5 << " 0.500";
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

    // Zero and A both take the smoothed reading; A keeps its text through later zeros.
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

    // No gain, however bad, puts "nan" or "inf" on a label.
    void unusableGainShowsError_data() {
        QTest::addColumn<double>("gain");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -1.0;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
        QTest::newRow("overflowing") << 1e-310;
    }
    void unusableGainShowsError() {
        QFETCH(double, gain);
        Rig r;
        r.state.rdrGain = gain;
        r.driver.count = 3000;
        r.m.zero();
        QCOMPARE(r.labels.text(Label::lblZero), QStringLiteral("Error"));
        r.m.getA();
        QCOMPARE(r.labels.text(Label::A), QStringLiteral("Error"));
        // With a good gain, readings against the bad zero still show no number; a new zero
        // recovers.
        r.state.rdrGain = 1.0;
        r.m.getA();
        QCOMPARE(r.labels.text(Label::A), QStringLiteral("Error"));
        r.m.zero();
        r.m.getA();
        QCOMPARE(r.labels.text(Label::A), QStringLiteral(" 0.000"));
    }
};

QTEST_GUILESS_MAIN(TestMeasurement)
#include "test_measurement.moc"
