// The number patterns "0.0000" and "0.000" and the six-character absorbance text.

#include "core/NumberText.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace qvr;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

class TestNumberFormat : public QObject {
    Q_OBJECT
private slots:
    void fixed_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative zero") << -0.0 << 4 << "0.0000";
        QTest::newRow("rounds to zero from below") << -0.00004 << 4 << "0.0000";
        QTest::newRow("half rounds away from zero") << 0.00005 << 4 << "0.0001";
        QTest::newRow("negative half rounds away from zero") << -0.00005 << 4 << "-0.0001";
        QTest::newRow("decimal half although binary lies below") << 1.0005 << 3 << "1.001";
        QTest::newRow("just below half") << 1.00049 << 3 << "1.000";
        QTest::newRow("carry into a new digit") << 9.99995 << 4 << "10.0000";
        QTest::newRow("negative carry") << -9.9995 << 3 << "-10.000";
        QTest::newRow("large") << 1e20 << 3 << "100000000000000000000.000";
        QTest::newRow("no decimals") << 2.5 << 0 << "3";
        QTest::newRow("NaN") << kNaN << 4 << "Error";
        QTest::newRow("infinity") << kInf << 4 << "Error";
    }
    void fixed() {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(QString, text);
        QCOMPARE(formatFixed(value, decimals), text);
    }

    void absorbance_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("3.0 exactly") << 3.0 << " 3.000";
        QTest::newRow("just above 3.0") << 3.0001 << ">3.0";
        QTest::newRow("smallest step above 3.0") << std::nextafter(3.0, 4.0) << ">3.0";
        QTest::newRow("rounds up to 3.000 below the ceiling") << 2.9996 << " 3.000";
        QTest::newRow("0.0005 rounds up") << 0.0005 << " 0.001";
        QTest::newRow("-0.0123") << -0.0123 << "-0.012";
        QTest::newRow("-12.3") << -12.3 << "-12.300";
        QTest::newRow("negative rounding to zero has no sign") << -0.0004 << " 0.000";
        QTest::newRow("-0.0005 rounds away") << -0.0005 << "-0.001";
        QTest::newRow("NaN") << kNaN << "Error";
        QTest::newRow("infinity is no reading") << kInf << "Error";
    }
    void absorbance() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(formatAbsorbance(value), text);
    }

    // Every reading from -9.999 to 3.0 is six characters wide.
    void absorbanceWidth() {
        for (int milli = -9999; milli <= 3000; milli += 7) {
            const QString t = formatAbsorbance(milli / 1000.0);
            QVERIFY2(t.size() == 6, qPrintable(t));
            QCOMPARE(t.toDouble(), milli / 1000.0);
        }
    }

    void filterResult_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("three decimals") << 0.5 << "0.500";
        QTest::newRow("negative") << -0.25 << "-0.250";
        QTest::newRow("NaN") << kNaN << "Error";
    }
    void filterResult() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(formatFilterResult(value), text);
    }
};

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "test_number_format.moc"
