// The filter check's own zero, the filter readings and where their results go.

#include "FakeDriver.h"
#include "ReadingScript.h"

#include "app/LabelModel.h"
#include "app/ReaderState.h"
#include "dialogs/FilterCheck.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"

#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

// The parts of the reader a filter check reads through, with a gain of 2.5 so that whole
// volts give round detector values.
struct Rig {
    Rig() : lines(state, driver, labels), acquisition(lines) {
        driver.logAnalog = false;
        state.rdrGain = 2.5;
    }
    FakeDriver driver;
    ReaderState state;
    LabelModel labels;
    HeadLines lines;
    Acquisition acquisition;
};

constexpr Label kTarget[] = {Label::na, Label::nb, Label::nc};

} // namespace

class TestFilterCheck : public QObject {
    Q_OBJECT
private slots:
    void result_data();
    void result();
    void nothingBeforeAZero();
    void zeroLeavesTheMainZeroAlone();
    void eachFilterWritesOnlyItsOwnFields();
    void newZeroKeepsShownResults();
    void wavelengthIsTheShownOne();
    void resultsOfAnEarlierCheckStayOnTheMainWindow();
};

void TestFilterCheck::result_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<double>("zeroVolts");
    QTest::addColumn<double>("filterVolts");
    QTest::addColumn<QString>("text");
    // v1 is volts / 2.5: 3.0 V is 1.2, 2.22 V is 0.888.
    QTest::newRow("light 1.2 - 0.888") << int(FilterCheck::Light) << 3.0 << 2.22 << "0.312";
    QTest::newRow("medium 1.2 - (-0.4)") << int(FilterCheck::Medium) << 3.0 << -1.0 << "1.600";
    QTest::newRow("dark 1.2 - (-1.2)") << int(FilterCheck::Dark) << 3.0 << -3.0 << "2.400";
    QTest::newRow("no ceiling above 3.0") << int(FilterCheck::Dark) << 5.0 << -5.0 << "4.000";
    QTest::newRow("3.512 in full") << int(FilterCheck::Dark) << 4.0 << -4.78 << "3.512";
    QTest::newRow("more light than at the zero")
        << int(FilterCheck::Light) << 1.0 << 3.0 << "-0.800";
    QTest::newRow("small negative keeps its sign")
        << int(FilterCheck::Light) << 1.0 << 1.3075 << "-0.123";
}

void TestFilterCheck::result() {
    QFETCH(int, filter);
    QFETCH(double, zeroVolts);
    QFETCH(double, filterVolts);
    QFETCH(QString, text);
    Rig rig;
    FilterCheck check(rig.acquisition, rig.state, rig.labels);
    const auto f = static_cast<FilterCheck::Filter>(filter);

    scriptReading(rig.driver, zeroVolts);
    check.zero();
    QVERIFY(check.filtersEnabled());
    scriptReading(rig.driver, filterVolts);
    check.read(f);

    QCOMPARE(check.resultText(f), text);
    QCOMPARE(rig.labels.text(kTarget[filter]), text);
    QVERIFY(rig.driver.counts.empty()); // one reading each
}

void TestFilterCheck::nothingBeforeAZero() {
    Rig rig;
    FilterCheck check(rig.acquisition, rig.state, rig.labels);
    QVERIFY(!check.filtersEnabled());
    check.read(FilterCheck::Light);
    QCOMPARE(rig.driver.countOf(QStringLiteral("cbAIn")), 0);
    QVERIFY(!check.value(FilterCheck::Light));
    QCOMPARE(check.resultText(FilterCheck::Light), QString());
    QCOMPARE(rig.labels.text(Label::na), QStringLiteral(" "));
}

void TestFilterCheck::zeroLeavesTheMainZeroAlone() {
    Rig rig;
    rig.state.z1 = 0.75;
    rig.labels.set(Label::lblZero, QStringLiteral("0.7500"));
    FilterCheck check(rig.acquisition, rig.state, rig.labels);
    scriptReading(rig.driver, 3.0);
    check.zero();
    QCOMPARE(check.ndfZero(), 1.2);
    QCOMPARE(rig.state.z1, 0.75);
    QCOMPARE(rig.labels.text(Label::lblZero), QStringLiteral("0.7500"));
}

void TestFilterCheck::eachFilterWritesOnlyItsOwnFields() {
    Rig rig;
    FilterCheck check(rig.acquisition, rig.state, rig.labels);
    scriptReading(rig.driver, 3.0);
    check.zero();
    scriptReading(rig.driver, 1.0);
    check.read(FilterCheck::Medium);
    QCOMPARE(rig.labels.text(Label::nb), QStringLiteral("0.800"));
    QCOMPARE(rig.labels.text(Label::na), QStringLiteral(" "));
    QCOMPARE(rig.labels.text(Label::nc), QStringLiteral(" "));
    QVERIFY(!check.value(FilterCheck::Light));
    QVERIFY(!check.value(FilterCheck::Dark));

    scriptReading(rig.driver, -1.0);
    check.read(FilterCheck::Medium); // replaces its own result
    QCOMPARE(rig.labels.text(Label::nb), QStringLiteral("1.600"));
    QCOMPARE(check.resultText(FilterCheck::Medium), QStringLiteral("1.600"));
}

void TestFilterCheck::newZeroKeepsShownResults() {
    Rig rig;
    FilterCheck check(rig.acquisition, rig.state, rig.labels);
    scriptReading(rig.driver, 3.0);
    check.zero();
    scriptReading(rig.driver, 1.0);
    check.read(FilterCheck::Light);
    scriptReading(rig.driver, 4.0); // new zero 1.6
    check.zero();
    QCOMPARE(check.resultText(FilterCheck::Light), QStringLiteral("0.800"));
    scriptReading(rig.driver, 1.0);
    check.read(FilterCheck::Dark);
    QCOMPARE(check.resultText(FilterCheck::Dark), QStringLiteral("1.200"));
}

void TestFilterCheck::wavelengthIsTheShownOne() {
    Rig rig;
    rig.labels.set(Label::WL, QStringLiteral("600 nm"));
    FilterCheck check(rig.acquisition, rig.state, rig.labels);
    QCOMPARE(check.wavelength(), QStringLiteral("600 nm"));
}

void TestFilterCheck::resultsOfAnEarlierCheckStayOnTheMainWindow() {
    Rig rig;
    {
        FilterCheck first(rig.acquisition, rig.state, rig.labels);
        scriptReading(rig.driver, 3.0);
        first.zero();
        scriptReading(rig.driver, 1.0);
        first.read(FilterCheck::Light);
    }
    FilterCheck second(rig.acquisition, rig.state, rig.labels);
    QVERIFY(!second.filtersEnabled());
    QVERIFY(!second.value(FilterCheck::Light));
    QCOMPARE(rig.labels.text(Label::na), QStringLiteral("0.800"));
}

QTEST_GUILESS_MAIN(TestFilterCheck)
#include "test_filtercheck.moc"
