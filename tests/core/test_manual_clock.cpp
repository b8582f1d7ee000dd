// The manual clock that every timed test relies on: it must keep the window system's timer rules.

#include "ManualClock.h"

#include <QTest>

using namespace qvr;

class TestManualClock : public QObject {
    Q_OBJECT
private slots:
    void enablingAnEnabledTimerKeepsItsInterval() {
        test::ManualClock clock;
        auto t = clock.createTimer();
        int ticks = 0;
        t->onTick([&] { ++ticks; });
        t->setInterval(600);
        t->setEnabled(true);
        clock.advance(400);
        t->setEnabled(true);
        clock.advance(200);
        QCOMPARE(ticks, 1);
        QCOMPARE(clock.nowMs(), 600);
    }

    void disablingAndEnablingStartsAFreshInterval() {
        test::ManualClock clock;
        auto t = clock.createTimer();
        int ticks = 0;
        t->onTick([&] { ++ticks; });
        t->setInterval(500);
        t->setEnabled(true);
        clock.advance(400);
        t->setEnabled(false);
        t->setEnabled(true);
        clock.advance(499);
        QCOMPARE(ticks, 0);
        clock.advance(1);
        QCOMPARE(ticks, 1);
        clock.advance(1000); // periodic
        QCOMPARE(ticks, 3);
    }

    void timersFireInTimeOrder() {
        test::ManualClock clock;
        auto zero = clock.createTimer();
        auto read = clock.createTimer();
        QList<QPair<QString, qint64>> log;
        zero->onTick([&] {
            log.append({QStringLiteral("zero"), clock.nowMs()});
            zero->setEnabled(false);
            read->setEnabled(true);
        });
        read->onTick([&] { log.append({QStringLiteral("read"), clock.nowMs()}); });
        zero->setInterval(500);
        read->setInterval(600);
        zero->setEnabled(true);
        clock.advance(1800);
        const QList<QPair<QString, qint64>> expected{{QStringLiteral("zero"), 500},
                                                     {QStringLiteral("read"), 1100},
                                                     {QStringLiteral("read"), 1700}};
        QCOMPARE(log, expected);
        QCOMPARE(clock.nextDue(), 500);
    }

    void fireNextJumpsToTheNextTick() {
        test::ManualClock clock;
        QVERIFY(!clock.fireNext());
        QCOMPARE(clock.nextDue(), -1);
        auto t = clock.createTimer();
        int ticks = 0;
        t->onTick([&] { ++ticks; });
        t->setInterval(600);
        t->setEnabled(true);
        QVERIFY(clock.fireNext());
        QCOMPARE(ticks, 1);
        QCOMPARE(clock.nowMs(), 600);
        t.reset(); // a destroyed timer no longer fires
        QVERIFY(!clock.fireNext());
    }
};

QTEST_GUILESS_MAIN(TestManualClock)
#include "test_manual_clock.moc"
