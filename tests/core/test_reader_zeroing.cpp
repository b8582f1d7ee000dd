// When a zero is taken: never through a film (the film switch) nor through a filter or the
// filter holder (the head's clear path), and what State says meanwhile.

#include "SimReaderRig.h"

#include "measure/FilterCheck.h"

#include <QtTest>

using namespace qvr;
using namespace qvr::test;
using sim::Filter;
using sim::Holder;

namespace {

constexpr qint64 kDay = 24 * 60 * 60 * 1000;

bool reading(SimReaderRig& r) {
    const QString state = r.label(Label::State);
    return state == QLatin1String("reading") || state == QLatin1String("caution");
}

double absorbance(SimReaderRig& r) {
    bool ok = false;
    const double a = r.label(Label::A).toDouble(&ok);
    return ok ? a : qQNaN();
}

} // namespace

class TestReaderZeroing : public QObject {
    Q_OBJECT
private slots:
    void filmInDelaysTheZero_data() {
        QTest::addColumn<QString>("when");
        for (const char* when : {"start-up", "Zero", "Wavelength", "end of the filter check"})
            QTest::newRow(when) << QString::fromLatin1(when);
    }
    void filmInDelaysTheZero() {
        QFETCH(QString, when);
        const bool atStart = when == QLatin1String("start-up");
        SimReaderRig r(atStart ? R"({"film": {"present": true}})" : "{}");
        if (!atStart) {
            r.clock.advance(1100);
            r.card.setFilmPresent(true);
            r.clock.advance(600);
            QCOMPARE(r.label(Label::A), QStringLiteral(" 0.500"));
            if (when == QLatin1String("Zero")) {
                r.reader.mnuZero_Click();
            } else if (when == QLatin1String("Wavelength")) {
                // A Zero held by the film meanwhile, until the stored zeros are too old for a
                // change of wavelength to go on with.
                r.reader.mnuZero_Click();
                r.clock.advance(kStoredZeroAgeMs);
                r.reader.mnuSecondary_Click();
            } else {
                r.reader.mnuNDF_Click();
            }
        }
        const QString shown = r.label(Label::A);
        const double zero = r.reader.state().z1;
        for (int t = 0; t < 5000; t += 100) {
            r.clock.advance(100);
            QVERIFY2(!reading(r), qPrintable(QString::number(t)));
            QCOMPARE(r.label(Label::A), shown);
        }
        QCOMPARE(r.label(Label::State), QStringLiteral("zeroing"));
        QCOMPARE(r.label(Label::Notice), text(1012));
        QCOMPARE(r.reader.state().z1, zero);
        QCOMPARE(r.log.messages.size(), 1); // "waiting to zero", once

        r.card.setFilmPresent(false);
        r.clock.advance(500);
        QCOMPARE(r.label(Label::Notice), QString());
        QCOMPARE(r.log.messages.size(), 2); // and "zero taken"
        r.clock.advance(600);
        QCOMPARE(r.label(Label::State), QStringLiteral("reading"));
        QCOMPARE(r.label(Label::A), QStringLiteral(" 0.000"));
    }

    // Each wavelength keeps the zero taken at it. The lamp brightens between the two zeros,
    // so a reading against the other wavelength's zero shows.
    void wavelengthChangeWithFilmInUsesItsOwnZero_data() {
        QTest::addColumn<qint64>("age");
        QTest::addColumn<bool>("waits");
        QTest::newRow("a minute old") << qint64(60 * 1000) << false;
        // The held Zero's ticks come every 500 ms from 3200 ms: the command's zero falls due at
        // the next of them.
        QTest::newRow("just under the limit") << kStoredZeroAgeMs - 500 << false;
        QTest::newRow("over the limit") << kStoredZeroAgeMs + 500 << true;
    }
    void wavelengthChangeWithFilmInUsesItsOwnZero() {
        QFETCH(qint64, age);
        QFETCH(bool, waits);
        SimReaderRig r("{}");
        r.clock.advance(1100);
        QCOMPARE(r.label(Label::Zeros), QStringLiteral("2")); // both wavelengths
        r.card.setLamp(2.2);
        r.reader.mnuSecondary_Click(); // film out: zeroes the secondary only
        r.clock.advance(1600);
        QCOMPARE(r.label(Label::Zeros), QStringLiteral("3"));

        r.card.setFilmPresent(true);
        // A Zero held by the film: the stored zeros age without readings meanwhile.
        r.reader.mnuZero_Click();
        r.clock.advance(age - 2700);
        r.reader.mnuPrimary_Click();
        r.clock.advance(1100);
        if (waits) {
            QCOMPARE(r.label(Label::State), QStringLiteral("zeroing"));
            QCOMPARE(r.label(Label::Notice), text(1012));
            r.card.setFilmPresent(false);
            r.clock.advance(1100);
            QCOMPARE(r.label(Label::Zeros), QStringLiteral("4"));
            QCOMPARE(r.label(Label::A), QStringLiteral(" 0.000"));
            return;
        }
        // Against the primary's own zero, taken at 2.0 with the film out.
        QCOMPARE(r.label(Label::State), QStringLiteral("reading"));
        QCOMPARE(r.label(Label::Zeros), QStringLiteral("3"));
        QVERIFY(qAbs(absorbance(r) - 0.3) < 2e-3);
        QCOMPARE(r.label(Label::Notice), QString());
        r.reader.mnuSecondary_Click();
        r.clock.advance(1600);
        QCOMPARE(r.label(Label::State), QStringLiteral("reading"));
        QVERIFY(qAbs(absorbance(r) - 0.35) < 2e-3);
        QCOMPARE(r.label(Label::Zeros), QStringLiteral("3"));
    }

    // Zero takes both, whichever wavelength is selected, and goes on reading the selected one;
    // the other is read later against its new zero.
    void zeroTakesBothWavelengths() {
        SimReaderRig r(R"({"lamp": 1.5})");
        r.clock.advance(1100);
        r.reader.mnuSecondary_Click();
        r.clock.advance(1600);
        r.card.setLamp(2.0);
        r.reader.mnuZero_Click();
        r.clock.advance(500);
        QCOMPARE(r.label(Label::Zeros), QStringLiteral("5")); // 2 at start, 1, then 2
        QCOMPARE(int(r.reader.state().Control & kWavelengthBit), int(kWavelengthBit));
        r.card.setFilmPresent(true);
        r.clock.advance(600);
        QVERIFY(qAbs(absorbance(r) - 0.35) < 2e-3);
        r.reader.mnuPrimary_Click();
        r.clock.advance(1100);
        QVERIFY(qAbs(absorbance(r) - 0.5) < 2e-3);
        QCOMPARE(r.label(Label::Zeros), QStringLiteral("5"));
    }

    // A damaged film put in after start-up (as a training scenario does) reads true at one
    // wavelength and off at the other, each against its own zero.
    void damagedFilmReadsOffAtOneWavelengthOnly() {
        SimReaderRig r(R"({"events": [{"at": 2,
            "film": {"present": true, "od": [0.5, 0.35], "damage": [0, 0.2]}}]})");
        r.clock.advance(2600);
        QVERIFY(qAbs(absorbance(r) - 0.5) < 2e-3);
        r.reader.mnuSecondary_Click();
        r.clock.advance(1600);
        QCOMPARE(r.label(Label::State), QStringLiteral("reading"));
        QVERIFY(qAbs(absorbance(r) - 0.55) < 2e-3);
    }

    void darkerZeroIsRefusedAndRetried_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<bool>("storedBefore"); // the clear path from an earlier run
        QTest::addColumn<QString>("darkness");
        // Against the converter's whole counts the light filter reads 0.30075.
        QTest::newRow("light filter, 0.3") << int(Filter::Light) << false << "0.301";
        QTest::newRow("dark filter, 2.0") << int(Filter::Dark) << false << "2.000";
        QTest::newRow("at start-up, against the stored clear path")
            << int(Filter::Light) << true << "0.300";
    }
    void darkerZeroIsRefusedAndRetried() {
        QFETCH(int, filter);
        QFETCH(bool, storedBefore);
        QFETCH(QString, darkness);
        const QString key = QStringLiteral("ClearZero1234_510");
        QHash<QString, QString> stored;
        if (storedBefore)
            stored.insert(key, QStringLiteral("2 2025-12-31T12:00:00Z"));
        SimReaderRig r(storedBefore ? R"({"holder": "filter", "filters": {"inserted": "light"}})"
                                    : "{}",
                       QStringLiteral("0"), stored);
        if (!storedBefore) {
            r.clock.advance(1100);
            QVERIFY(r.settings.values_.value(key).contains(QStringLiteral(" 2026-01-01T00:00")));
            r.card.setHolder(Holder::Filter);
            r.card.setFilterInserted(Filter(filter));
            r.reader.mnuZero_Click();
        }
        const double zero = r.reader.state().z1;
        for (int t = 0; t < 5000; t += 100) {
            r.clock.advance(100);
            QVERIFY(!reading(r));
        }
        QCOMPARE(r.label(Label::Notice), text(1013) + darkness);
        QVERIFY(r.reader.zeroRefused());
        QCOMPARE(r.reader.state().z1, zero);
        QVERIFY(!r.cautioned());
        QCOMPARE(r.log.messages.size(), 1);

        r.card.setFilterInserted(Filter::None);
        r.clock.advance(500 + 600);
        QCOMPARE(r.label(Label::State), QStringLiteral("reading"));
        QCOMPARE(r.label(Label::Notice), QString());
        QVERIFY(!r.reader.zeroRefused());
    }

    // After a lamp change the clear path is darker for good: accepted, it is the new one.
    void acceptingANewClearPath() {
        SimReaderRig r("{}");
        r.clock.advance(1100);
        r.card.setLamp(1.6);
        r.reader.mnuAcceptClearPath_Click(); // nothing refused yet: nothing to accept
        r.reader.mnuZero_Click();
        r.clock.advance(1000);
        QVERIFY(r.reader.zeroRefused());
        r.reader.mnuAcceptClearPath_Click();
        r.clock.advance(500 + 600);
        QCOMPARE(r.label(Label::State), QStringLiteral("reading"));
        QVERIFY(qAbs(r.reader.state().z1 - 1.6) < 1e-3);
        const QString kept = r.settings.values_.value("ClearZero1234_510").section(' ', 0, 0);
        QVERIFY(qAbs(kept.toDouble() - r.reader.state().z1) < 1e-12);
        r.reader.mnuZero_Click(); // the new clear path holds
        r.clock.advance(500);
        QVERIFY(!r.reader.zeroRefused());
    }

    // A lamp that dims slowly keeps zeroing, with the cautions; so does one that dimmed while
    // the reader was not used for longer than the clear path is trusted.
    void dimmingLampKeepsZeroing_data() {
        QTest::addColumn<double>("step");
        QTest::addColumn<qint64>("pause");
        QTest::newRow("0.04 at each zero") << 0.04 << qint64(0);
        QTest::newRow("all at once, a week later") << 1.85 << 7 * kDay;
    }
    void dimmingLampKeepsZeroing() {
        QFETCH(double, step);
        QFETCH(qint64, pause);
        SimReaderRig r("{}");
        r.clock.advance(1100);
        for (double lamp = 2.0 - step; lamp > 0.1; lamp -= step) {
            r.card.setLamp(lamp);
            r.clock.epochAtStart += pause;
            r.reader.mnuZero_Click();
            r.clock.advance(500);
            QVERIFY2(!r.reader.zeroRefused(), qPrintable(QString::number(lamp)));
        }
        r.clock.advance(600);
        QCOMPARE(r.count(1010) > 0, pause == 0);
        QVERIFY(r.count(1011) > 0);
        QCOMPARE(r.label(Label::State), QStringLiteral("caution"));
        QCOMPARE(r.label(Label::Notice), text(1011));
    }

    // While A still holds a value measured against the old zero, State does not say reading.
    void readingOnlyAgainstTheNewZero() {
        SimReaderRig r("{}");
        r.clock.advance(1100);
        r.card.setLamp(2.5);
        r.clock.advance(600);
        QCOMPARE(r.label(Label::A), QStringLiteral("-0.500"));
        r.reader.mnuZero_Click();
        for (int t = 0; t < 1200; t += 50) {
            r.clock.advance(50);
            QVERIFY(!reading(r) || r.label(Label::A) == QLatin1String(" 0.000"));
        }
        QCOMPARE(r.label(Label::State), QStringLiteral("reading"));
    }

    // The filter check's own zero is judged against the same clear path; leaving the filter
    // in after the check keeps the main zero off too.
    void filterCheckZeroIsJudgedToo() {
        SimReaderRig r("{}");
        r.clock.advance(1100);
        r.host.duringFilterCheck = [&] {
            r.card.setHolder(Holder::Filter);
            r.card.setFilterInserted(Filter::Medium);
            FilterCheck check(r.reader.acquisition(), r.reader.state(), r.reader.labels(),
                              &r.reader.clearPath());
            const ZeroResult refused = check.zero();
            QCOMPARE(refused.outcome, ZeroResult::Darker);
            QVERIFY(qAbs(refused.darkness - 1.0) < 1e-3);
            QVERIFY(!check.filtersEnabled());
            r.card.setFilterInserted(Filter::Light);
            QCOMPARE(check.zero().outcome, ZeroResult::Darker);
            // A holder darker than the limit, accepted: it is the clear path from now on.
            QCOMPARE(check.zero(true).outcome, ZeroResult::Taken);
            QVERIFY(check.filtersEnabled());
            r.card.setFilterInserted(Filter::Medium);
            check.read(FilterCheck::Medium);
            QVERIFY(qAbs(*check.value(FilterCheck::Medium) - 0.7) < 2e-3);
        };
        r.reader.mnuNDF_Click();
        r.card.setFilterInserted(Filter::Dark); // the film holder not put back
        r.clock.advance(2000);
        QVERIFY(r.reader.zeroRefused());
        QCOMPARE(r.label(Label::State), QStringLiteral("zeroing"));
    }
};

QTEST_GUILESS_MAIN(TestReaderZeroing)
#include "test_reader_zeroing.moc"
