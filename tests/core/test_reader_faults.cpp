// Failed card calls through the simulated card's fault keys: no number from a failed call,
// one fault state with the driver's own words, readings that resume by themselves.

#include "SimReaderRig.h"

#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {
using Rig = SimReaderRig;
} // namespace

class TestReaderFaults : public QObject {
    Q_OBJECT
private slots:
    void failedCallsGiveNoNumber_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("board");
        QTest::addColumn<bool>("headFails");
        QTest::addColumn<QString>("detail");
        QTest::newRow("converter fails")
            << QByteArray(R"({"faults": {"fail": {"cbAIn": 1}}})") << "0" << false
            << "simulated fault: cbAIn fails on every call";
        QTest::newRow("converter dead, every count 0")
            << QByteArray(R"({"faults": {"dead_converter": true}})") << "0" << false
            << "converter at its rail: every count of the reading was 0";
        QTest::newRow("every 50th port read")
            << QByteArray(R"({"faults": {"fail": {"cbDIn": 50}}})") << "0" << true
            << "head unread: simulated fault: cbDIn fails on one call in 50";
        QTest::newRow("stored board not there")
            << QByteArray("{}") << "3" << true << "head unread: board 3: no such card";
    }
    void failedCallsGiveNoNumber() {
        QFETCH(QByteArray, json);
        QFETCH(QString, board);
        QFETCH(bool, headFails);
        QFETCH(QString, detail);
        Rig r(json, board);
        r.clock.advance(7000); // many delayed-zero ticks, two more reads of the head
        // Said once, however often the head is read again.
        QCOMPARE(r.count(1104), headFails ? 1 : 0);
        QCOMPARE(r.label(Label::State), QString("fault"));
        QVERIFY2(r.label(Label::Fault).startsWith(detail), qPrintable(r.label(Label::Fault)));
        QVERIFY(!r.cautioned());
        QCOMPARE(r.log.messages.size(), 1);
        if (headFails) {
            // Nothing of a record that was not read is shown or measured with.
            QVERIFY(!r.reader.state().headIdentified);
            for (Label l : {Label::lblEEPROM, Label::lblSN, Label::lblRegGain, Label::lblPresent})
                QCOMPARE(r.label(l), kNotReadText);
            QCOMPARE(r.label(Label::A), QString("Zeroing"));
            QVERIFY(r.reader.tmrHeadRetry().isEnabled());
            QVERIFY(!r.reader.tmrDelayZero().isEnabled());
        } else {
            QCOMPARE(r.label(Label::A), QString("Error"));
            QCOMPARE(r.label(Label::lblZero), QString("Error"));
            // The zero is asked for again until one succeeds; no reading runs meanwhile.
            QVERIFY(r.reader.tmrDelayZero().isEnabled());
        }
        QVERIFY(!r.reader.tmrRead().isEnabled());
        // A fault that holds is announced once, and so is its Error: not with every try.
        QCoreApplication::processEvents();
        QSignalSpy written(&r.reader.labels(), &LabelModel::changed);
        r.clock.advance(6000);
        QCoreApplication::processEvents();
        for (const QList<QVariant>& args : written)
            QCOMPARE(args.at(0).value<LabelSet>() &
                         (bit(Label::State) | bit(Label::Fault) | bit(Label::A)),
                     LabelSet(0));
    }

    // The head is read again by itself until a whole read succeeds; only then is it measured.
    void unreadHeadIsReadAgainUntilWhole() {
        Rig r(R"({"faults": {"fail": {"cbDIn": 50}},
                  "events": [{"at": 7, "faults": {"fail": {"cbDIn": 0}}}]})");
        r.clock.advance(6900);
        QCOMPARE(r.label(Label::State), QString("fault"));
        QCOMPARE(r.label(Label::A), QString("Zeroing"));
        r.clock.advance(2100 + 500 + 600); // the read at 9 s, its zero, its first reading
        QCOMPARE(r.label(Label::Fault), QString());
        QCOMPARE(r.label(Label::State), QString("reading"));
        QCOMPARE(r.label(Label::lblSN), QString("1234"));
        QCOMPARE(r.label(Label::A), QString(" 0.000"));
        QVERIFY(r.reader.state().headIdentified);
        QCOMPARE(r.count(1104), 1);
        QCOMPARE(r.log.messages.size(), 2); // one line as it starts, one as it clears
    }

    void readingsResumeByThemselves() {
        // The converter fails for the first 3 s, then answers again.
        Rig r(R"({"faults": {"fail": {"cbAIn": 1}},
                  "events": [{"at": 3, "faults": {"fail": {"cbAIn": 0}}}]})");
        r.clock.advance(2900);
        QCOMPARE(r.label(Label::A), QString("Error"));
        r.clock.advance(1000 + 600);
        QCOMPARE(r.label(Label::Fault), QString());
        QCOMPARE(r.label(Label::State), QString("reading"));
        QCOMPARE(r.label(Label::A), QString(" 0.000"));
        QCOMPARE(r.log.messages.size(), 2); // one line as it starts, one as it clears
    }

    void failedReadingKeepsTheZeroAndIsNeverSmoothedIn() {
        Rig r(R"({"events": [{"at": 2.4, "faults": {"fail": {"cbAIn": 7}}},
                             {"at": 3.5, "faults": {"fail": {"cbAIn": 0}}}]})");
        r.clock.advance(1200); // zeroed without film
        r.card.setFilmPresent(true);
        r.clock.advance(1200);
        QCOMPARE(r.label(Label::State), QString("reading"));
        QCOMPARE(r.label(Label::A), QString(" 0.500"));
        const double zero = r.reader.state().z1;
        r.clock.advance(600); // a reading during the fault
        QCOMPARE(r.label(Label::A), QString("Error"));
        QCOMPARE(r.reader.state().z1, zero);
        QVERIFY(r.reader.tmrRead().isEnabled());
        r.card.setFilmOd(0, 0.51); // within the smoothing band of the last good reading
        r.clock.advance(2000);
        QCOMPARE(r.reader.state().z1, zero);
        // The first good reading after the fault stands alone; the next one is smoothed.
        QCOMPARE(r.label(Label::A), QString(" 0.510"));
    }
};

QTEST_GUILESS_MAIN(TestReaderFaults)
#include "test_reader_faults.moc"
