// The 93C46 model against the datasheet's description of the x16 part, at the chip's pins.

#include "sim/Eeprom93C46.h"

#include <QTest>

using qvr::sim::Eeprom93C46;

namespace qvr::test {

namespace {

// Drives the chip's pins the way a Microwire master does.
struct Pins {
    Eeprom93C46& chip;
    bool cs = false, sk = false, di = false;

    void apply() { chip.setInputs(cs, sk, di); }
    void select(bool on) {
        cs = on;
        apply();
    }
    void rise() {
        sk = true;
        apply();
    }
    void fall() {
        sk = false;
        apply();
    }
    void clockIn(bool bit) {
        di = bit;
        apply();
        rise();
        fall();
    }
    void clockIn(unsigned bits, int count) {
        for (int i = count - 1; i >= 0; --i)
            clockIn(((bits >> i) & 1) != 0);
    }
    // Start bit, opcode 10, address: DO carries the dummy 0 afterwards.
    void readInstruction(int address, int leadingZeros = 0) {
        select(true);
        clockIn(0u, leadingZeros);
        clockIn(1u, 1);
        clockIn(0b10u, 2);
        clockIn(static_cast<unsigned>(address), 6);
    }
    bool showsDummy() const { return chip.doDriven() && !chip.doLevel(); }
    // One more clock: the bit DO shows after its rising edge (-1 when released).
    int clockOut() {
        rise();
        const int bit = chip.doDriven() ? (chip.doLevel() ? 1 : 0) : -1;
        fall();
        return bit;
    }
    unsigned wordOut() {
        unsigned w = 0;
        for (int i = 0; i < 16; ++i)
            w = (w << 1) | static_cast<unsigned>(clockOut());
        return w;
    }
};

std::array<std::uint16_t, Eeprom93C46::kWords> numbered() {
    std::array<std::uint16_t, Eeprom93C46::kWords> w{};
    for (int i = 0; i < Eeprom93C46::kWords; ++i)
        w[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(0x1100 * (i % 16) + i);
    return w;
}

} // namespace

class TestSimEeprom : public QObject {
    Q_OBJECT
private slots:
    void releasedUntilAReadIsComplete() {
        Eeprom93C46 chip;
        Pins p{chip};
        QVERIFY(!chip.doDriven());
        p.select(true);
        QVERIFY(!chip.doDriven());
        p.clockIn(1u, 1);
        p.clockIn(0b10u, 2);
        p.clockIn(0b00010u, 5); // one address bit short
        QVERIFY(!chip.doDriven());
    }

    void leadingZerosBeforeTheStartBit_data() {
        QTest::addColumn<int>("zeros");
        QTest::newRow("none") << 0;
        QTest::newRow("one, as the reader sends") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("thirty") << 30;
    }
    void leadingZerosBeforeTheStartBit() {
        QFETCH(int, zeros);
        Eeprom93C46 chip;
        chip.setWords(numbered());
        Pins p{chip};
        p.readInstruction(37, zeros);
        QVERIFY(p.showsDummy());
        QCOMPARE(p.wordOut(), numbered()[37]);
    }

    void dummyZeroOnTheClockThatCompletesTheAddress() {
        Eeprom93C46 chip;
        auto words = numbered();
        words[63] = 0xFFFF;
        chip.setWords(words);
        Pins p{chip};
        p.select(true);
        p.clockIn(1u, 1);
        p.clockIn(0b10u, 2);
        p.clockIn(0b11111u, 5);
        p.di = true;
        p.apply();
        QVERIFY(!chip.doDriven());
        p.rise(); // A0 clocked in
        QVERIFY(chip.doDriven());
        QCOMPARE(chip.doLevel(), false);
        p.fall();
        QCOMPARE(chip.doLevel(), false);
        QCOMPARE(p.wordOut(), 0xFFFFu); // the dummy was not a data bit
    }

    void dataMostSignificantBitFirst_data() {
        QTest::addColumn<int>("word");
        QTest::newRow("0x8000") << 0x8000;
        QTest::newRow("0x0001") << 0x0001;
        QTest::newRow("0xA5C3") << 0xA5C3;
        QTest::newRow("0x0000") << 0x0000;
        QTest::newRow("0xFFFF") << 0xFFFF;
    }
    void dataMostSignificantBitFirst() {
        QFETCH(int, word);
        Eeprom93C46 chip;
        auto words = numbered();
        words[5] = static_cast<std::uint16_t>(word);
        chip.setWords(words);
        Pins p{chip};
        p.readInstruction(5);
        QVERIFY(p.showsDummy());
        QList<int> bits, expected;
        for (int i = 15; i >= 0; --i) {
            expected << ((word >> i) & 1);
            bits << p.clockOut();
        }
        QCOMPARE(bits, expected);
    }

    void bitsChangeOnlyOnRisingEdges() {
        Eeprom93C46 chip;
        auto words = numbered();
        words[9] = 0x5555; // alternating: any extra shift shows
        chip.setWords(words);
        Pins p{chip};
        p.readInstruction(9);
        p.rise(); // D15 = 0
        QCOMPARE(chip.doLevel(), false);
        p.di = true;
        p.apply(); // DI moving while SK is high shifts nothing
        p.fall();
        p.di = false;
        p.apply();
        QCOMPARE(chip.doLevel(), false);
        p.rise(); // D14 = 1
        QCOMPARE(chip.doLevel(), true);
        p.fall();
        QCOMPARE(chip.doLevel(), true);
    }

    void sequentialReadRunsOnAndWraps() {
        Eeprom93C46 chip;
        chip.setWords(numbered());
        Pins p{chip};
        p.readInstruction(62);
        QVERIFY(p.showsDummy());
        QCOMPARE(p.wordOut(), numbered()[62]);
        QCOMPARE(p.wordOut(), numbered()[63]); // no dummy between words
        QCOMPARE(p.wordOut(), numbered()[0]);
        QCOMPARE(p.wordOut(), numbered()[1]);
    }

    void chipSelectLowResetsAndReleases_data() {
        QTest::addColumn<int>("clocksBeforeDrop"); // clocks after selecting
        QTest::newRow("after the start bit") << 1;
        QTest::newRow("inside the opcode") << 2;
        QTest::newRow("inside the address") << 6;
        QTest::newRow("on the dummy bit") << 9;
        QTest::newRow("inside the data") << 17;
        QTest::newRow("in the next word") << 30;
    }
    void chipSelectLowResetsAndReleases() {
        QFETCH(int, clocksBeforeDrop);
        Eeprom93C46 chip;
        chip.setWords(numbered());
        Pins p{chip};
        p.select(true);
        // 1, 10, address 42 (101010), then data clocks with DI high.
        const unsigned frame = 0b110101010u;
        for (int i = 0; i < clocksBeforeDrop; ++i)
            p.clockIn(i < 9 ? ((frame >> (8 - i)) & 1) != 0 : true);
        p.select(false);
        QVERIFY(!chip.doDriven());
        // Nothing of the broken instruction is left over.
        p.readInstruction(3);
        QVERIFY(p.showsDummy());
        QCOMPARE(p.wordOut(), numbered()[3]);
    }

    void clocksWhileDeselectedAreIgnored() {
        Eeprom93C46 chip;
        chip.setWords(numbered());
        Pins p{chip};
        p.clockIn(0b110000001u, 9); // a whole READ of word 1, but not selected
        QVERIFY(!chip.doDriven());
        p.readInstruction(2);
        QVERIFY(p.showsDummy());
        QCOMPARE(p.wordOut(), numbered()[2]);
    }

    void otherInstructionsAreIgnored_data() {
        QTest::addColumn<unsigned>("command"); // opcode and address, 8 bits
        QTest::addColumn<int>("dataBits");     // data clocked in after it
        QTest::newRow("EWEN") << 0b00110000u << 0;
        QTest::newRow("EWDS") << 0b00000000u << 0;
        QTest::newRow("ERAL") << 0b00100000u << 0;
        QTest::newRow("WRAL") << 0b00010000u << 16;
        QTest::newRow("WRITE word 4") << 0b01000100u << 16;
        QTest::newRow("ERASE word 4") << 0b11000100u << 0;
    }
    void otherInstructionsAreIgnored() {
        QFETCH(unsigned, command);
        QFETCH(int, dataBits);
        Eeprom93C46 chip;
        chip.setWords(numbered());
        Pins p{chip};
        p.select(true);
        p.clockIn(1u, 1);
        p.clockIn(command, 8);
        for (int i = 0; i < dataBits + 8; ++i) {
            p.clockIn(i % 2 == 0);
            QVERIFY(!chip.doDriven());
        }
        p.select(false);
        p.select(true); // where a write would show ready / busy
        QVERIFY(!chip.doDriven());
        p.select(false);
        QCOMPARE(chip.words(), numbered());
        p.readInstruction(4);
        QVERIFY(p.showsDummy());
        QCOMPARE(p.wordOut(), numbered()[4]);
    }
};

} // namespace qvr::test

QTEST_APPLESS_MAIN(qvr::test::TestSimEeprom)
#include "test_sim_eeprom.moc"
