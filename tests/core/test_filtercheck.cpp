// The filter check's own zero, the filter readings and where their results go.

#include "FakeDriver.h"

#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"
#include "measure/FilterCheck.h"

#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

// The parts of the reader a filter check reads through, with a gain of 2.5 so that whole
// volts give round detector values.
struct Rig {
    Rig() : lines(state, driver, labels), acquisition(lines), check(acquisition, state, labels) {
        driver.logAnalog = false;
        state.rdrGain = 2.5;
    }
    void zero(double volts) {
        driver.queueVolts(volts);
        check.zero();
    }
    void read(FilterCheck::Filter f, double volts) {
        driver.queueVolts(volts);
        check.read(f);
    }
    FakeDriver driver;
    ReaderState state;
    LabelModel labels;
    HeadLines lines;
    Acquisition acquisition;
    FilterCheck check;
};

constexpr Label kTarget[] = {Label::na, Label::nb, Label::nc};

} // namespace

class TestFilterCheck : public QObject {
    Q_OBJECT
private slots:
    void result_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<double>("zeroVolts");
        QTest::addColumn<double>("filterVolts");
        QTest::addColumn<QString>("text");
        // v1 is volts / 2.5: 3.0 V is 1.2, 2.22 V is 0.888.
        QTest::newRow("light 1.2 - 0.888") << int(FilterCheck::Light) << 3.0 << 2.22 << "0.312";
        QTest::newRow("medium 1.2 - (-0.4)") << int(FilterCheck::Medium) << 3.0 << -1.0 << "1.600";
        QTest::newRow("3.512 in full") << int(FilterCheck::Dark) << 4.0 << -4.78 << "3.512";
        QTest::newRow("small negative keeps its sign")
            << int(FilterCheck::Light) << 1.0 << 1.3075 << "-0.123";
    }
    void result() {
        QFETCH(int, filter);
        QFETCH(double, zeroVolts);
        QFETCH(double, filterVolts);
        QFETCH(QString, text);
        Rig rig;
        const auto f = static_cast<FilterCheck::Filter>(filter);
        rig.zero(zeroVolts);
        rig.read(f, filterVolts);
        QCOMPARE(rig.check.resultText(f), text);
        // Only its own field on the main window.
        for (int other = 0; other < 3; ++other)
            QCOMPARE(rig.labels.text(kTarget[other]), other == filter ? text : QStringLiteral(" "));
        QVERIFY(rig.driver.counts.empty()); // one reading each
    }

    void nothingBeforeAZero() {
        Rig rig;
        QVERIFY(!rig.check.filtersEnabled());
        rig.check.read(FilterCheck::Light);
        QCOMPARE(rig.driver.countOf(QStringLiteral("cbAIn")), 0);
        QVERIFY(!rig.check.value(FilterCheck::Light));
        QCOMPARE(rig.labels.text(Label::na), QStringLiteral(" "));
    }

    void zeroLeavesTheMainZeroAlone() {
        Rig rig;
        rig.state.z1 = 0.75;
        rig.labels.set(Label::lblZero, QStringLiteral("0.7500"));
        rig.zero(3.0);
        QCOMPARE(rig.check.ndfZero(), 1.2);
        QCOMPARE(rig.state.z1, 0.75);
        QCOMPARE(rig.labels.text(Label::lblZero), QStringLiteral("0.7500"));
    }

    // A new zero keeps the shown results and counts for the readings after it; a filter read
    // again replaces its own result.
    void laterZeroAndRepeatedReading() {
        Rig rig;
        rig.zero(3.0);
        rig.read(FilterCheck::Light, 1.0);
        rig.zero(4.0); // 1.6
        QCOMPARE(rig.check.resultText(FilterCheck::Light), QStringLiteral("0.800"));
        rig.read(FilterCheck::Dark, 1.0);
        QCOMPARE(rig.check.resultText(FilterCheck::Dark), QStringLiteral("1.200"));
        rig.read(FilterCheck::Dark, -1.0);
        QCOMPARE(rig.labels.text(Label::nc), QStringLiteral("2.000"));
    }

    void resultsOfAnEarlierCheckStayOnTheMainWindow() {
        Rig rig;
        rig.zero(3.0);
        rig.read(FilterCheck::Light, 1.0);
        FilterCheck second(rig.acquisition, rig.state, rig.labels);
        QVERIFY(!second.filtersEnabled());
        QVERIFY(!second.value(FilterCheck::Light));
        QCOMPARE(rig.labels.text(Label::na), QStringLiteral("0.800"));
    }

    // A failed call makes no number: a failed zero is no zero, a failed reading "Error".
    void failedCallsGiveNoValue() {
        Rig r;
        r.zero(3.0);
        r.driver.status = kStatusIoFailed;
        r.zero(1.0);
        QCOMPARE(r.check.ndfZero(), 1.2);
        r.read(FilterCheck::Light, 2.22);
        QCOMPARE(r.labels.text(Label::na), QStringLiteral("Error"));
        r.driver.status = 0;
        r.driver.counts.clear(); // what the failed readings left unread
        r.read(FilterCheck::Light, 2.22);
        QCOMPARE(r.labels.text(Label::na), QStringLiteral("0.312"));
    }
};

QTEST_GUILESS_MAIN(TestFilterCheck)
#include "test_filtercheck.moc"
