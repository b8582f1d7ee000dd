#include "core/NumberText.h"

#include <QLocale>
#include <QTest>
#include <cmath>
#include <limits>

using namespace qvr;

namespace {
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
};

void TestNumberText::strictAccepts_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digits") << "C"
                            << "1500" << 1500.0;
    QTest::newRow("leading zero") << "C"
                                  << "0999" << 999.0;
    QTest::newRow("point") << "C"
                           << "1.87" << 1.87;
    QTest::newRow("blanks around") << "C"
                                   << "  510 " << 510.0;
    QTest::newRow("trailing point") << "C"
                                    << "5." << 5.0;
    QTest::newRow("comma locale, comma") << "de_DE"
                                         << "1,9" << 1.9;
    QTest::newRow("comma locale, point") << "de_DE"
                                         << "1.9" << 1.9;
}

void TestNumberText::strictAccepts() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(double, value);
    LocaleScope scope(locale);
    const std::optional<double> got = strictNumber(text);
    QVERIFY(got.has_value());
    QCOMPARE(*got, value);
}

void TestNumberText::strictRejects_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("blanks only") << "C"
                                 << "   ";
    QTest::newRow("letter inside") << "C"
                                   << "19A5";
    QTest::newRow("letter O") << "C"
                              << "6O0";
    QTest::newRow("plus sign") << "C"
                               << "+5";
    QTest::newRow("minus sign") << "C"
                                << "-5";
    QTest::newRow("exponent") << "C"
                              << "1e3";
    QTest::newRow("inner blank") << "C"
                                 << "1 5";
    QTest::newRow("group separator") << "C"
                                     << "1,500";
    QTest::newRow("inf") << "C"
                         << "inf";
    QTest::newRow("nan") << "C"
                         << "nan";
    QTest::newRow("NUL") << "C" << QString(QChar(0)) + "12";
    QTest::newRow("Arabic-Indic digit") << "C" << QString(QChar(0x0665));
    QTest::newRow("too large") << "C" << QString(400, QChar('9'));
    QTest::newRow("comma locale, both separators") << "de_DE"
                                                   << "1,9.5";
    QTest::newRow("comma locale, group") << "de_DE"
                                         << "1.500,0";
}

void TestNumberText::strictRejects() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    LocaleScope scope(locale);
    QVERIFY(!strictNumber(text).has_value());
}

void TestNumberText::leading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("1.9") << "1.9" << 1.9;
    QTest::newRow("ab") << "ab" << 0.0;
    QTest::newRow("blanks first") << "  2.0x" << 2.0;
    QTest::newRow("stops at letter") << "19A5" << 19.0;
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

QTEST_GUILESS_MAIN(TestNumberText)
#include "test_number_text.moc"
