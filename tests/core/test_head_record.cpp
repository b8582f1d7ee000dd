#include "core/LabelModel.h"
#include "core/ReaderState.h"
#include "core/Settings.h"
#include "head/HeadRecord.h"

#include "RecordingMessageSink.h"

#include <QLocale>
#include <QTest>
#include <cmath>

using namespace qvr;
using qvr::test::RecordingMessageSink;

namespace {

const QString kModelMsg = QStringLiteral(
    "Unexpected EEPROM data. Please report this to Norvale. Model and Serial number reported as: ");
const QString kWLMsg = QStringLiteral(
    "Unexpected EEPROM data. Please report this to Norvale. Wavelengths  reported as: ");
const QString kGainMsg =
    QStringLiteral("Unexpected EEPROM data. Please report this to Norvale. Gain reported as: ");

const QString kDefault =
    QStringLiteral("QVR10010001.9510600 QVR QVR QVR QVR QVR QVR QVR QVR QVR QVR QVR ");

// Model, serial, gain and wavelengths, then the default filler: 64 characters.
QString rec(const QString& fields) {
    return fields + kDefault.mid(19);
}
const QString kGood = rec("QVR10015001.0450650");

// Expected state: "model sn gain wl1 wl2 identified[ default]" ("default": rdrEEPROM replaced).
const QString kDefState = QStringLiteral("QVR100 1000 1.9 510 600 0 default");
const QString kGoodState = QStringLiteral("QVR100 1500 1 450 650 1");
const QString kRecovered = QStringLiteral("QVR100 1000 1.9 450 650 0");
// Expected texts: lblModel|lblSN|lblGain|lblRegGain|lblWL1|lblWL2|lblA1|lblA2|captions.
const QString kGoodWL = QStringLiteral("450 nm|650 nm|450 nm|650 nm|450 nm|650 nm");
const QString kDefShown = QStringLiteral("QVR100|1000|1.9|1.9|510 nm|600 nm|510 nm|600 nm|510 "
                                         "nm|600 nm");
const QString kGoodShown = "QVR100|1500|1|1|" + kGoodWL;

using Stored = QHash<QString, QString>;

struct Parsed {
    ReaderState st;
    LabelModel labels;
    MemorySettings settings;
    RecordingMessageSink sink;
    WavelengthCaptions captions;
    explicit Parsed(const QString& record, const Stored& stored = {}) {
        st.rdrEEPROM = record;
        labels.set(Label::lblEEPROM, record);
        settings.values_ = stored;
        captions = parseEEPROM(st, labels, settings, sink);
    }
};

} // namespace

class TestHeadRecord : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void commaLocale();
    void garbageGivesUsableGain_data();
    void garbageGivesUsableGain();
};

void TestHeadRecord::parse_data() {
    QTest::addColumn<QString>("record");
    QTest::addColumn<Stored>("stored");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("shown");
    const auto row = [](const QString& name, const QString& record, const QStringList& messages,
                        const QString& state, const QString& shown, const Stored& stored = {}) {
        QTest::newRow(qPrintable(name)) << record << stored << messages << state << shown;
    };
    const QString blank(64, QChar(0xFF));
    const Stored gain1000{{"GainSN1000", "1.87"}};

    row("blank part", blank, {}, kDefState, kDefShown);
    row("no head: NULs", QString(64, QChar(0)), {}, kDefState, kDefShown);
    row("empty", QString(), {}, kDefState, kDefShown);
    // A head may well carry the default record itself.
    row("the default record", kDefault, {}, "QVR100 1000 1.9 510 600 1", kDefShown);
    row("lower-case q", "q" + kGood.mid(1), {}, kDefState, kDefShown);
    row("default, stored gain", blank, {}, "QVR100 1000 1.87 510 600 0 default",
        "QVR100|1000|1.9|1.87|510 nm|600 nm|510 nm|600 nm|510 nm|600 nm", gain1000);

    row("good, gain 1.0", kGood, {}, kGoodState, kGoodShown);
    row("stored 1.87", kGood, {}, "QVR100 1500 1.87 450 650 1", "QVR100|1500|1|1.87|" + kGoodWL,
        {{"GainSN1500", " 1.87 "}});
    row("other head's gain ignored", kGood, {}, kGoodState, kGoodShown, gain1000);
    for (const QString sn : {"2000", "0999", "1000", "1999"})
        row("serial " + sn, rec("QVR100" + sn + "1.0450650"),
            sn == "2000" || sn == "0999" ? QStringList{kModelMsg + "QVR100 " + sn} : QStringList{},
            "QVR100 " + sn + " 1 450 650 1", "QVR100|" + sn + "|1|1|" + kGoodWL);
    // An unexpected head is still known by its own serial number.
    row("model QVR300", rec("QVR30015001.0450650"), {kModelMsg + "QVR300 1500"},
        "QVR300 1500 1 450 650 1", "QVR300|1500|1|1|" + kGoodWL);
    row("serial 19A5", rec("QVR10019A51.0450650"), {kModelMsg + "QVR100 1000"},
        "QVR100 1000 1 450 650 0", "QVR100|19A5|1|1|" + kGoodWL);
    row("serial 19A5, GainSN1000 stored", rec("QVR10019A51.0450650"), {kModelMsg + "QVR100 1000"},
        "QVR100 1000 1.87 450 650 0", "QVR100|19A5|1|1.87|" + kGoodWL, gain1000);
    row("gain 2.0", rec("QVR10015002.0450650"), {kGainMsg + "2.0"}, "QVR100 1500 1.9 450 650 1",
        "QVR100|1500|2|1.9|" + kGoodWL);
    row("wavelength 390", rec("QVR10015001.0390600"), {kWLMsg + " 390 600"},
        "QVR100 1500 1 390 600 1", "QVR100|1500|1|1|390 nm|600 nm|WL1|600 nm|WL1 nm|600 nm");
    row("wavelengths 400, 780", rec("QVR10015001.0400780"), {}, "QVR100 1500 1 400 780 1",
        "QVR100|1500|1|1|400 nm|780 nm|400 nm|780 nm|400 nm|780 nm");
    row("wavelength 781", rec("QVR10015001.0400781"), {kWLMsg + " 400 781"},
        "QVR100 1500 1 400 781 1", "QVR100|1500|1|1|400 nm|781 nm|400 nm|WL2|400 nm|WL2 nm");
    // The recovery discards a gain the settings gave.
    for (const QString gain : {"1", "1.87"})
        row("wavelength 6O0, shown gain " + gain, rec("QVR10015001.04506O0"), {kWLMsg + " 600 510"},
            "QVR100 1000 1.9 600 510 0",
            "QVR100|1500|1|" + gain + "|450 nm|6O0 nm|600 nm|510 nm|600 nm|510 nm",
            gain == "1" ? Stored{} : Stored{{"GainSN1500", gain}});
    row("just Q", "Q", {kModelMsg + "Q 1000", kGainMsg, kWLMsg + " 600 510"},
        "Q 1000 1.9 600 510 0", "Q||0|1.9| nm| nm|600 nm|510 nm|600 nm|510 nm");
    // A stored gain that is no usable number recovers; so does one that would turn every
    // reading infinite. Either is said, naming the key, and left in the settings.
    for (const QString bad : {"abc", "0", "0.0", "", "inf", "nan", "1e400", "1,2,3", "1,5.2"})
        row("stored gain \"" + bad + "\"", kGood,
            {"The stored gain GainSN1500 \"" + bad +
             "\" is not a number above 0; this run uses gain 1.9 and leaves it unchanged"},
            kRecovered, "QVR100|1500|1|1.9|" + kGoodWL, {{"GainSN1500", bad}});
    // What earlier versions stored under a locale with a decimal comma reads back in any
    // locale, as does '.', the form stored now.
    for (const QString old : {"1,05", "1.05", " 1,05 "})
        row("stored gain \"" + old + "\"", kGood, {}, "QVR100 1500 1.05 450 650 1",
            "QVR100|1500|1|" + QLocale().toString(1.05) + "|" + kGoodWL, {{"GainSN1500", old}});
}

void TestHeadRecord::parse() {
    QFETCH(QString, record);
    QFETCH(Stored, stored);
    QFETCH(QStringList, messages);
    QFETCH(QString, state);
    QFETCH(QString, shown);
    const Parsed p(record, stored);
    const ReaderState& st = p.st;

    QCOMPARE(p.sink.messages, messages);
    const QStringList want = state.split(' ');
    QCOMPARE((QStringList{st.rdrModel, st.rdrSN, st.rdrWL1, st.rdrWL2}),
             (QStringList{want[0], want[1], want[3], want[4]}));
    QCOMPARE(st.rdrGain, want[2].toDouble());
    QCOMPARE(st.headIdentified, want[5] == "1");
    QCOMPARE(st.rdrEEPROM, want.size() > 6 ? kDefault : record);

    QStringList got;
    for (Label l : {Label::lblModel, Label::lblSN, Label::lblGain, Label::lblRegGain, Label::lblWL1,
                    Label::lblWL2, Label::lblA1, Label::lblA2})
        got << p.labels.text(l);
    got << p.captions.primary << p.captions.secondary;
    QCOMPARE(got, shown.split('|'));
    // The raw text stays on show, also when the default replaced it.
    QCOMPARE(p.labels.text(Label::lblEEPROM), record);
    QCOMPARE(p.settings.values_, stored); // reading never writes
}

// The stored gain is written in the user's form; the record's fields always use '.'.
void TestHeadRecord::commaLocale() {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString record = rec("QVR10015001.9450650");
    const Parsed plain(record);
    const Parsed stored(record, {{"GainSN1500", "1,87"}});
    QLocale::setDefault(saved);

    QVERIFY(plain.sink.messages.isEmpty());
    QCOMPARE(plain.labels.text(Label::lblGain), "1,9");
    QCOMPARE(plain.labels.text(Label::lblRegGain), "1,9");
    QCOMPARE(plain.st.rdrGain, 1.9);
    QVERIFY(stored.sink.messages.isEmpty());
    QCOMPARE(stored.st.rdrGain, 1.87);
    QVERIFY(stored.st.headIdentified);
}

void TestHeadRecord::garbageGivesUsableGain_data() {
    QTest::addColumn<QString>("record");
    QTest::newRow("Q then NULs") << "Q" + QString(63, QChar(0));
    QTest::newRow("Q then 255s") << "Q" + QString(63, QChar(0xFF));
    QTest::newRow("Q then Latin-1 digits") << "Q" + QString(63, QChar(0xB9));
    QTest::newRow("cut in the serial") << QString("QVR10015");
    QTest::newRow("cut in the gain") << QString("QVR10015001.");
    QTest::newRow("cut in a wavelength") << QString("QVR10015001.04506");
    QTest::newRow("signs and exponents") << rec("QVR100-1e39e9+451e3");
    QTest::newRow("blanks") << rec("QVR100             ");
    QTest::newRow("decimal points") << rec("QVR10015.01.94.565.");
}

// Whatever the head sends, the gain in use is a finite number above 0 and every text is set.
void TestHeadRecord::garbageGivesUsableGain() {
    QFETCH(QString, record);
    const Parsed p(record);
    QVERIFY(std::isfinite(p.st.rdrGain) && p.st.rdrGain > 0);
    QVERIFY(p.sink.messages.size() <= 3);
    QVERIFY(!p.labels.text(Label::lblA1).isEmpty() && !p.labels.text(Label::lblA2).isEmpty());
    QVERIFY(!p.captions.primary.isEmpty() && !p.captions.secondary.isEmpty());
}

QTEST_GUILESS_MAIN(TestHeadRecord)
#include "test_head_record.moc"
