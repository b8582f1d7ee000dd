// The 93C46 model against the datasheet's description of the x16 part, at the chip's pins.

#include "daq/sim/Eeprom93C46.h"

#include <QTest>

using qvr::sim::Eeprom93C46;

namespace qvr::test {

namespace {

// Every word distinct, and no word the same read backwards.
std::array<std::uint16_t, Eeprom93C46::kWords> numbered() {
    std::array<std::uint16_t, Eeprom93C46::kWords> w{};
    for (int i = 0; i < Eeprom93C46::kWords; ++i)
        w[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(0x1100 * (i % 16) + i);
    return w;
}

// Drives the chip's pins the way a Microwire master does.
struct Pins {
    Eeprom93C46 chip;
    bool cs = false, sk = false, di = false;

    Pins() { chip.setWords(numbered()); }
    void set(bool c, bool s, bool d) { chip.setInputs(cs = c, sk = s, di = d); }
    void select(bool on) { set(on, sk, di); }
    void clockIn(unsigned bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            set(cs, false, ((bits >> i) & 1) != 0);
            set(cs, true, di);
            set(cs, false, di);
        }
    }
    // Start bit, opcode 10, address: DO carries the dummy 0 afterwards.
    void readInstruction(int address, int leadingZeros = 0) {
        select(true);
        clockIn(0u, leadingZeros);
        clockIn(0b110u, 3);
        clockIn(static_cast<unsigned>(address), 6);
    }
    bool showsDummy() const { return chip.doDriven() && !chip.doLevel(); }
    // One more clock: the bit DO shows after its rising edge (-1 when released).
    int clockOut() {
        set(cs, true, di);
        const int bit = chip.doDriven() ? (chip.doLevel() ? 1 : 0) : -1;
        set(cs, false, di);
        return bit;
    }
    // Sixteen clocks, taken most significant bit first.
    unsigned wordOut() {
        unsigned w = 0;
        for (int i = 0; i < 16; ++i)
            w = (w << 1) | static_cast<unsigned>(clockOut());
        return w;
    }
};

} // namespace

class TestEeprom93C46 : public QObject {
    Q_OBJECT
private slots:
    void leadingZerosBeforeTheStartBit_data() {
        QTest::addColumn<int>("zeros");
        QTest::newRow("none") << 0;
        QTest::newRow("one, as the reader sends") << 1;
    }
    void leadingZerosBeforeTheStartBit() {
        QFETCH(int, zeros);
        Pins p;
        p.readInstruction(37, zeros);
        QVERIFY(p.showsDummy());
        QCOMPARE(p.wordOut(), numbered()[37]);
    }

    void dummyZeroOnTheClockThatCompletesTheAddress() {
        Pins p;
        auto words = numbered();
        words[63] = 0xFFFF;
        p.chip.setWords(words);
        QVERIFY(!p.chip.doDriven());
        p.select(true);
        p.clockIn(0b11011111u, 8); // one address bit short
        p.set(true, false, true);
        QVERIFY(!p.chip.doDriven());
        p.set(true, true, true); // A0 clocked in
        QVERIFY(p.showsDummy());
        p.set(true, false, true);
        QVERIFY(p.showsDummy());
        QCOMPARE(p.wordOut(), 0xFFFFu); // the dummy was not a data bit
    }

    void bitsChangeOnlyOnRisingEdges() {
        Pins p;
        auto words = numbered();
        words[9] = 0x5555; // alternating: any extra shift shows
        p.chip.setWords(words);
        p.readInstruction(9);
        p.set(true, true, false); // D15 = 0
        QCOMPARE(p.chip.doLevel(), false);
        p.set(true, true, true); // DI moving while SK is high shifts nothing
        p.set(true, false, false);
        QCOMPARE(p.chip.doLevel(), false);
        p.set(true, true, false); // D14 = 1
        QCOMPARE(p.chip.doLevel(), true);
        p.set(true, false, false);
        QCOMPARE(p.chip.doLevel(), true);
    }

    void sequentialReadRunsOnAndWraps() {
        Pins p;
        p.readInstruction(62);
        QCOMPARE(p.wordOut(), numbered()[62]);
        QCOMPARE(p.wordOut(), numbered()[63]); // no dummy between words
        QCOMPARE(p.wordOut(), numbered()[0]);
    }

    void chipSelectLowResetsAndReleases_data() {
        QTest::addColumn<int>("clocksBeforeDrop"); // clocks after selecting
        QTest::newRow("inside the address") << 6;
        QTest::newRow("on the dummy bit") << 9;
        QTest::newRow("inside the data") << 17;
    }
    void chipSelectLowResetsAndReleases() {
        QFETCH(int, clocksBeforeDrop);
        Pins p;
        p.select(true);
        // 1, 10, address 42 (101010), then data clocks with DI high.
        const unsigned frame = 0b110101010u;
        for (int i = 0; i < clocksBeforeDrop; ++i)
            p.clockIn(i < 9 ? (frame >> (8 - i)) & 1 : 1u, 1);
        p.select(false);
        QVERIFY(!p.chip.doDriven());
        // Nothing of the broken instruction is left over.
        p.readInstruction(3);
        QVERIFY(p.showsDummy());
        QCOMPARE(p.wordOut(), numbered()[3]);
    }

    void clocksWhileDeselectedAreIgnored() {
        Pins p;
        p.clockIn(0b110000001u, 9); // a whole READ of word 1, but not selected
        QVERIFY(!p.chip.doDriven());
        p.readInstruction(2);
        QCOMPARE(p.wordOut(), numbered()[2]);
    }

    void otherInstructionsAreIgnored_data() {
        QTest::addColumn<unsigned>("command"); // opcode and address, 8 bits
        QTest::addColumn<int>("dataBits");     // data clocked in after it
        QTest::newRow("EWEN") << 0b00110000u << 0;
        QTest::newRow("WRAL") << 0b00010000u << 16;
        QTest::newRow("WRITE word 4") << 0b01000100u << 16;
        QTest::newRow("ERASE word 4") << 0b11000100u << 0;
    }
    void otherInstructionsAreIgnored() {
        QFETCH(unsigned, command);
        QFETCH(int, dataBits);
        Pins p;
        p.select(true);
        p.clockIn(0x100u | command, 9);
        for (int i = 0; i < dataBits + 8; ++i) {
            p.clockIn(i % 2 == 0, 1);
            QVERIFY(!p.chip.doDriven());
        }
        p.select(false);
        p.select(true); // where a write would show ready / busy
        QVERIFY(!p.chip.doDriven());
        p.select(false);
        QCOMPARE(p.chip.words(), numbered());
        p.readInstruction(4);
        QCOMPARE(p.wordOut(), numbered()[4]);
    }
};

} // namespace qvr::test

QTEST_APPLESS_MAIN(qvr::test::TestEeprom93C46)
#include "test_eeprom93c46.moc"
