// Failed card calls through the simulated card's fault keys: no number from a failed call,
// one fault state with the driver's own words, readings that resume by themselves.

#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include "core/Clock.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "daq/sim/SimCard.h"
#include "reader/Reader.h"
#include "reader/ReaderHost.h"

#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

class Host : public ReaderHost {
public:
    void showBoardDialog() override {}
    void endProcess() override {}
};

sim::Scenario scenario(const QByteArray& json) {
    QString why;
    auto s = sim::parseScenario(json, &why);
    if (!s)
        qFatal("scenario refused: %s", qPrintable(why));
    s->noise = 0;
    s->conversionUs = 0;
    return *s;
}

struct Rig {
    explicit Rig(const QByteArray& json, const QString& board = QStringLiteral("0"))
        : card(scenario(json), &clock), reader(clock, card, settings, messages) {
        settings.values_.insert(QStringLiteral("PCIPort"), board);
        reader.faults().setLog(&log);
        reader.Form_Load(host);
    }
    QString label(Label l) { return reader.labels().text(l); }
    bool cautioned() const {
        return messages.messages.contains(text(1010)) || messages.messages.contains(text(1011));
    }
    bool headMessage() const {
        for (const QString& m : messages.messages)
            if (m.startsWith(text(1104)))
                return true;
        return false;
    }
    ManualClock clock;
    sim::SimCard card;
    MemorySettings settings;
    RecordingMessageSink messages;
    RecordingMessageSink log; // the standard-error lines of the fault state
    Host host;
    Reader reader;
};

} // namespace

class TestReaderFaults : public QObject {
    Q_OBJECT
private slots:
    void failedCallsGiveNoNumber_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("board");
        QTest::addColumn<bool>("headFails");
        QTest::addColumn<QString>("detail");
        QTest::newRow("converter dead") << QByteArray(R"({"faults": {"fail": {"cbAIn": 1}}})")
                                        << "0" << false << "cbAIn fails on every call";
        QTest::newRow("every 50th port read")
            << QByteArray(R"({"faults": {"fail": {"cbDIn": 50}}})") << "0" << true
            << "cbDIn fails on one call in 50";
        QTest::newRow("stored board not there")
            << QByteArray("{}") << "3" << true << "board 3: no such card";
    }
    void failedCallsGiveNoNumber() {
        QFETCH(QByteArray, json);
        QFETCH(QString, board);
        QFETCH(bool, headFails);
        QFETCH(QString, detail);
        Rig r(json, board);
        QCOMPARE(r.headMessage(), headFails);
        // A head record from a card that did not answer is no head of its own.
        if (headFails)
            QVERIFY(!r.reader.state().headIdentified);
        r.clock.advance(5000); // many delayed-zero ticks
        QCOMPARE(r.label(Label::A), QString("Error"));
        QCOMPARE(r.label(Label::lblZero), QString("Error"));
        QCOMPARE(r.label(Label::lblVolt), QString("Error"));
        QCOMPARE(r.label(Label::State), QString("fault"));
        QVERIFY2(r.label(Label::Fault).contains(detail), qPrintable(r.label(Label::Fault)));
        QVERIFY(!r.cautioned());
        // The zero is asked for again until one succeeds; no reading runs meanwhile.
        QVERIFY(r.reader.tmrDelayZero().isEnabled());
        QVERIFY(!r.reader.tmrRead().isEnabled());
        QCOMPARE(r.log.messages.size(), 1);
        // A fault that holds is announced once, not with every failed zero.
        QCoreApplication::processEvents();
        QSignalSpy written(&r.reader.labels(), &LabelModel::changed);
        r.clock.advance(2000);
        QCoreApplication::processEvents();
        QVERIFY(!written.isEmpty());
        for (const QList<QVariant>& args : written)
            QCOMPARE(args.at(0).value<LabelSet>() & (bit(Label::State) | bit(Label::Fault)),
                     LabelSet(0));
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
