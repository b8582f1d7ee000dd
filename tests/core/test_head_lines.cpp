// The head port's output image and the single-line procedures, seen at the driver.

#include "FakeDriver.h"
#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "head/HeadLines.h"

#include <QTest>

#include <climits>
#include <functional>

using namespace qvr;

namespace {

struct Rig {
    ReaderState state;
    test::FakeDriver driver;
    LabelModel labels;
    HeadLines lines{state, driver, labels};
};

// Runs the named procedures in order; "second", "first" and "csLow" are the bit changes the
// wavelength commands and the EEPROM make.
void run(HeadLines& lines, const QStringList& ops) {
    const QHash<QString, std::function<void(HeadLines&)>> procs{
        {"LedOn", &HeadLines::LedOn},
        {"LedOff", &HeadLines::LedOff},
        {"buzzerOn", &HeadLines::buzzerOn},
        {"buzzerOff", &HeadLines::buzzerOff},
        {"second", [](HeadLines& l) { l.change(3, 0); }},
        {"first", [](HeadLines& l) { l.change(0, 3); }},
        {"csLow", [](HeadLines& l) { l.change(0, 8); }}};
    for (const QString& op : ops)
        procs.value(op)(lines);
}

} // namespace

class TestHeadLines : public QObject {
    Q_OBJECT
private slots:
    void linesWriteTheWholeImage_data() {
        QTest::addColumn<int>("control");
        QTest::addColumn<QStringList>("ops");
        QTest::addColumn<QList<int>>("writes");

        QTest::newRow("start-up image: LED, buzzer, LED off")
            << 8 << QStringList{"LedOn", "buzzerOn", "LedOff"} << QList<int>{12, 13, 9};
        QTest::newRow("buzzer off ends the wavelength pulse early")
            << 11 << QStringList{"buzzerOff"} << QList<int>{10};
        QTest::newRow("LED on twice writes twice")
            << 8 << QStringList{"LedOn", "LedOn"} << QList<int>{12, 12};
        QTest::newRow("other bits are kept")
            << 15 << QStringList{"LedOff", "buzzerOff", "LedOn", "buzzerOn"}
            << QList<int>{11, 10, 14, 15};
        // A change raises and lowers only the bits it names.
        QTest::newRow("second wavelength: OR 3") << 12 << QStringList{"second"} << QList<int>{15};
        QTest::newRow("first wavelength: AND 252") << 15 << QStringList{"first"} << QList<int>{12};
        QTest::newRow("chip select low") << 8 << QStringList{"csLow"} << QList<int>{0};
    }
    void linesWriteTheWholeImage() {
        QFETCH(int, control);
        QFETCH(QStringList, ops);
        QFETCH(QList<int>, writes);
        Rig r;
        r.state.Control = static_cast<std::uint8_t>(control);
        r.state.BoardNum = 3;
        run(r.lines, ops);
        QCOMPARE(r.driver.doutValues(), writes);
        QCOMPARE(int(r.state.Control), writes.last());
        for (const auto& c : r.driver.calls) {
            QCOMPARE(c.kind, QStringLiteral("cbDOut"));
            QCOMPARE(c.board, 3);
            QCOMPARE(c.port, AUXPORT);
        }
    }

    void pushButton_data() {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("status"); // of the read
        QTest::addColumn<bool>("down");
        for (int in : {2, -1})
            QTest::addRow("inputs %d", in) << in << 0 << true;
        for (int in : {0, 5})
            QTest::addRow("inputs %d", in) << in << 0 << false;
        // A read that fails without touching its destination leaves Status as it was, and
        // says nothing of the button.
        QTest::newRow("failed read") << 0 << 1 << false;
    }
    void pushButton() {
        QFETCH(int, inputs);
        QFETCH(int, status);
        QFETCH(bool, down);
        Rig r;
        r.state.Status = 2;
        r.driver.inputs = static_cast<std::int16_t>(inputs);
        r.driver.status = status;
        QCOMPARE(r.lines.pushButton(), down);
        QCOMPARE(r.labels.text(Label::lblButton), status ? kNotReadText
                                                  : down ? QStringLiteral("Button Down")
                                                         : QStringLiteral("Button Up"));
        QCOMPARE(int(r.state.Status), status ? 2 : inputs);
        QCOMPARE(int(r.state.ULStat), status);
        QCOMPARE(r.driver.calls.size(), 1);
        QCOMPARE(r.driver.calls.first().kind, QStringLiteral("cbDIn"));
        QCOMPARE(r.driver.calls.first().port, AUXPORT);
    }

    void statusOfEveryCallIsRecorded_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("ulstat");
        QTest::newRow("negative") << -7 << -7;
        QTest::newRow("65536 does not narrow to success") << 65536 << 32767;
        QTest::newRow("most negative") << INT_MIN << -32768;
    }
    void statusOfEveryCallIsRecorded() {
        QFETCH(int, status);
        QFETCH(int, ulstat);
        Rig r;
        r.driver.status = status;
        for (const auto& call : std::initializer_list<std::function<void()>>{
                 [&] { r.lines.LedOn(); }, [&] { r.lines.pushButton(); },
                 [&] { r.lines.writePort(0); }}) {
            r.state.ULStat = 99;
            call();
            QCOMPARE(int(r.state.ULStat), ulstat);
        }
    }
};

QTEST_GUILESS_MAIN(TestHeadLines)
#include "test_head_lines.moc"
