// Reading and writing numbers: the strict and leading conversions, the number text of stored
// values, the patterns "0.0000" and "0.000" and the six-character absorbance text.

#include "core/NumberText.h"

#include <QLocale>
#include <QTest>
#include <cmath>
#include <limits>

using namespace qvr;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Runs the test body under a locale and puts the previous one back.
class LocaleScope {
public:
    explicit LocaleScope(const QString& name) : saved_(QLocale()) {
        QLocale::setDefault(QLocale(name));
    }
    ~LocaleScope() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};
} // namespace

class TestNumberText : public QObject {
    Q_OBJECT
private slots:
    void strictAccepts_data();
    void strictAccepts();
    void strictRejects_data();
    void strictRejects();
    void leading_data();
    void leading();
    void text_data();
    void text();
    void roundTrip_data();
    void roundTrip();
    void fixed_data();
    void fixed();
    void absorbance_data();
    void absorbance();
    void absorbanceWidth();
};

// comma: under de_DE, whose decimal separator is ','; otherwise under C.
void TestNumberText::strictAccepts_data() {
    QTest::addColumn<bool>("comma");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digits") << false << "1500" << 1500.0;
    QTest::newRow("point") << false << "1.87" << 1.87;
    QTest::newRow("blanks around") << false << "  510 " << 510.0;
    QTest::newRow("trailing point") << false << "5." << 5.0;
    QTest::newRow("comma locale, comma") << true << "1,9" << 1.9;
    QTest::newRow("comma locale, point") << true << "1.9" << 1.9;
}

void TestNumberText::strictAccepts() {
    QFETCH(bool, comma);
    QFETCH(QString, text);
    QFETCH(double, value);
    LocaleScope scope(comma ? "de_DE" : "C");
    const std::optional<double> got = strictNumber(text);
    QVERIFY(got.has_value());
    QCOMPARE(*got, value);
}

void TestNumberText::strictRejects_data() {
    QTest::addColumn<bool>("comma");
    QTest::addColumn<QString>("text");
    QTest::newRow("blanks only") << false << "   ";
    QTest::newRow("letter inside") << false << "19A5";
    QTest::newRow("plus sign") << false << "+5";
    QTest::newRow("exponent") << false << "1e3";
    QTest::newRow("inner blank") << false << "1 5";
    QTest::newRow("group separator") << false << "1,500";
    QTest::newRow("inf") << false << "inf";
    QTest::newRow("NUL") << false << QString(QChar(0)) + "12";
    QTest::newRow("Arabic-Indic digit") << false << QString(QChar(0x0665));
    QTest::newRow("too large") << false << QString(400, QChar('9'));
    QTest::newRow("comma locale, both separators") << true << "1,9.5";
    QTest::newRow("comma locale, group") << true << "1.500,0";
}

void TestNumberText::strictRejects() {
    QFETCH(bool, comma);
    QFETCH(QString, text);
    LocaleScope scope(comma ? "de_DE" : "C");
    QVERIFY(!strictNumber(text).has_value());
}

void TestNumberText::leading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("blanks first") << "  2.0x" << 2.0;
    QTest::newRow("stops at second point") << "1.2.3" << 1.2;
    QTest::newRow("comma is not a point") << "1,9" << 1.0;
    QTest::newRow("no sign") << "-1." << 0.0;
    QTest::newRow("no exponent") << "9e9" << 9.0;
    QTest::newRow("NUL") << QString(3, QChar(0)) << 0.0;
    QTest::newRow("too large") << QString(400, QChar('9')) << 0.0;
}

void TestNumberText::leading() {
    QFETCH(QString, text);
    QFETCH(double, value);
    LocaleScope scope("de_DE"); // always '.', whatever the user's separator
    QCOMPARE(leadingNumber(text), value);
}

void TestNumberText::text_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.9") << "C" << 1.9 << "1.9";
    QTest::newRow("minus zero") << "C" << -0.0 << "0";
    QTest::newRow("15 digits") << "C" << 0.1 + 0.2 << "0.3";
    QTest::newRow("rounds at 15") << "C" << 1.23456789012345678 << "1.23456789012346";
    QTest::newRow("large, no exponent") << "C" << 1e20 << "100000000000000000000";
    QTest::newRow("small, no exponent") << "C" << 1e-5 << "0.00001";
    QTest::newRow("comma locale") << "de_DE" << 1.9 << "1,9";
    QTest::newRow("infinite") << "C" << std::numeric_limits<double>::infinity() << "Error";
    QTest::newRow("nan") << "C" << std::nan("") << "Error";
}

void TestNumberText::text() {
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(QString, expected);
    LocaleScope scope(locale);
    QCOMPARE(numberText(value), expected);
}

void TestNumberText::roundTrip_data() {
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("reader");
    QTest::addColumn<double>("value");
    for (const char* writer : {"C", "de_DE", "fr_FR"})
        for (const char* reader : {"C", "de_DE", "fr_FR"})
            for (double v : {1.9, 1.0, 1.87, 0.001, 123.456, 1e-300, 1e300})
                QTest::addRow("%s to %s %g", writer, reader, v)
                    << QString::fromLatin1(writer) << QString::fromLatin1(reader) << v;
}

// A gain stored at shut-down reads back unchanged at the next start, whatever the locale of
// either run (a unit or cron job often runs under C.UTF-8, the desktop under the user's).
void TestNumberText::roundTrip() {
    QFETCH(QString, writer);
    QFETCH(QString, reader);
    QFETCH(double, value);
    QString stored;
    {
        LocaleScope scope(writer);
        stored = storedNumberText(value);
    }
    LocaleScope scope(reader);
    const std::optional<double> back = storedNumber(stored);
    QVERIFY2(back.has_value(), qPrintable(stored));
    QCOMPARE(*back, value);
}

void TestNumberText::fixed_data() {
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
    QTest::newRow("large") << 1e20 << 3 << "100000000000000000000.000";
    QTest::newRow("NaN") << kNaN << 4 << "Error";
    QTest::newRow("infinity") << kInf << 4 << "Error";
}

void TestNumberText::fixed() {
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(formatFixed(value, decimals), text);
}

void TestNumberText::absorbance_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("3.0 exactly") << 3.0 << " 3.000";
    QTest::newRow("smallest step above 3.0") << std::nextafter(3.0, 4.0) << ">3.0";
    QTest::newRow("rounds up to 3.000 below the ceiling") << 2.9996 << " 3.000";
    QTest::newRow("-12.3") << -12.3 << "-12.300";
    QTest::newRow("negative rounding to zero has no sign") << -0.0004 << " 0.000";
    QTest::newRow("NaN") << kNaN << "Error";
    QTest::newRow("infinity is no reading") << kInf << "Error";
}

void TestNumberText::absorbance() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(formatAbsorbance(value), text);
}

// Every reading from -9.999 to 3.0 is six characters wide.
void TestNumberText::absorbanceWidth() {
    for (int milli = -9999; milli <= 3000; milli += 7) {
        const QString t = formatAbsorbance(milli / 1000.0);
        QVERIFY2(t.size() == 6, qPrintable(t));
        QCOMPARE(t.toDouble(), milli / 1000.0);
    }
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "test_number_text.moc"
