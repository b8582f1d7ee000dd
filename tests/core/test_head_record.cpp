#include "app/LabelModel.h"
#include "app/ReaderState.h"
#include "app/Settings.h"
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
const QString kWavelengthMsg = QStringLiteral(
    "Unexpected EEPROM data. Please report this to Norvale. Wavelengths  reported as: ");
const QString kGainMsg =
    QStringLiteral("Unexpected EEPROM data. Please report this to Norvale. Gain reported as: ");

const QString kDefault =
    QStringLiteral("QVR10010001.9510600 QVR QVR QVR QVR QVR QVR QVR QVR QVR QVR QVR ");

// A 64-character record with the default filler.
QString rec(const QString& model, const QString& sn, const QString& gain, const QString& wl1,
            const QString& wl2) {
    return model + sn + gain + wl1 + wl2 + kDefault.mid(19);
}
QString good() {
    return rec("QVR100", "1500", "1.0", "450", "650");
}

// What parseEEPROM leaves; the defaults are those of good().
struct Outcome {
    QStringList messages;
    QString model = "QVR100";
    QString sn = "1500";
    double gain = 1.0;
    QString wl1 = "450";
    QString wl2 = "650";
    bool identified = true;
    QString lblModel = "QVR100";
    QString lblSN = "1500";
    QString lblGain = "1";
    QString lblRegGain = "1";
    QString lblWL1 = "450 nm";
    QString lblWL2 = "650 nm";
    QString lblA1 = "450 nm";
    QString lblA2 = "650 nm";
    QString primary = "450 nm";
    QString secondary = "650 nm";
    QString record; // rdrEEPROM afterwards; empty: as given
};

// The outcome of the default record, as a head without a record of its own gets it.
Outcome defaulted() {
    Outcome o;
    o.sn = o.lblSN = "1000";
    o.gain = 1.9;
    o.lblGain = o.lblRegGain = "1.9";
    o.wl1 = "510";
    o.wl2 = "600";
    o.lblWL1 = o.lblA1 = o.primary = "510 nm";
    o.lblWL2 = o.lblA2 = o.secondary = "600 nm";
    o.identified = false;
    o.record = kDefault;
    return o;
}

// After a recovery in the gain or wavelength steps of a good() record.
Outcome recovered(Outcome o) {
    o.sn = "1000";
    o.gain = 1.9;
    o.identified = false;
    return o;
}

using Stored = QHash<QString, QString>;

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestHeadRecord : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void neverWritesSettings();
    void commaLocale();
    void garbageGivesUsableGain_data();
    void garbageGivesUsableGain();
};

void TestHeadRecord::parse_data() {
    QTest::addColumn<QString>("record");
    QTest::addColumn<Stored>("stored");
    QTest::addColumn<Outcome>("expected");

    const QString blank(64, QChar(0xFF));
    QTest::newRow("blank part") << blank << Stored{} << defaulted();
    QTest::newRow("no head: NULs") << QString(64, QChar(0)) << Stored{} << defaulted();
    QTest::newRow("empty") << QString() << Stored{} << defaulted();
    QTest::newRow("the default record itself") << kDefault << Stored{} << [] {
        Outcome o = defaulted();
        o.identified = true; // a head may well carry it
        return o;
    }();
    QTest::newRow("lower-case q") << "q" + good().mid(1) << Stored{} << defaulted();
    {
        Outcome o = defaulted();
        o.gain = 1.87;
        o.lblRegGain = "1.87";
        QTest::newRow("default with stored gain") << blank << Stored{{"GainSN1000", "1.87"}} << o;
    }

    QTest::newRow("good, gain 1.0") << good() << Stored{} << Outcome{};
    {
        Outcome o;
        o.gain = 1.9;
        o.lblGain = o.lblRegGain = "1.9";
        QTest::newRow("good, gain 1.9")
            << rec("QVR100", "1500", "1.9", "450", "650") << Stored{} << o;
    }
    {
        Outcome o;
        o.gain = 1.87;
        o.lblRegGain = "1.87";
        QTest::newRow("stored 1.87") << good() << Stored{{"GainSN1500", "1.87"}} << o;
        QTest::newRow("stored with blanks") << good() << Stored{{"GainSN1500", " 1.87 "}} << o;
        QTest::newRow("other head's gain ignored")
            << good() << Stored{{"GainSN1000", "1.5"}} << Outcome{};
    }

    for (const char* sn : {"2000", "0999"}) {
        Outcome o;
        o.messages = QStringList{kModelMsg + "QVR100 " + sn};
        o.sn = o.lblSN = sn;
        QTest::addRow("serial %s", sn) << rec("QVR100", sn, "1.0", "450", "650") << Stored{} << o;
    }
    for (const char* sn : {"1000", "1999"}) {
        Outcome o;
        o.sn = o.lblSN = sn;
        QTest::addRow("serial %s", sn) << rec("QVR100", sn, "1.0", "450", "650") << Stored{} << o;
    }
    {
        // An unexpected head is still known by its own serial number.
        Outcome o;
        o.messages = QStringList{kModelMsg + "QVR300 1500"};
        o.model = o.lblModel = "QVR300";
        QTest::newRow("model QVR300")
            << rec("QVR300", "1500", "1.0", "450", "650") << Stored{} << o;
    }
    {
        Outcome o;
        o.messages = QStringList{kModelMsg + "QVR100 1000"};
        o.sn = "1000";
        o.lblSN = "19A5";
        o.identified = false;
        QTest::newRow("serial 19A5") << rec("QVR100", "19A5", "1.0", "450", "650") << Stored{} << o;
        o.gain = 1.87;
        o.lblRegGain = "1.87";
        QTest::newRow("serial 19A5, GainSN1000 stored")
            << rec("QVR100", "19A5", "1.0", "450", "650") << Stored{{"GainSN1000", "1.87"}} << o;
    }
    {
        Outcome o;
        o.messages = QStringList{kGainMsg + "2.0"};
        o.gain = 1.9;
        o.lblGain = "2";
        o.lblRegGain = "1.9";
        QTest::newRow("gain 2.0") << rec("QVR100", "1500", "2.0", "450", "650") << Stored{} << o;
    }
    {
        Outcome o;
        o.messages = QStringList{kWavelengthMsg + " 390 600"};
        o.wl1 = "390";
        o.wl2 = "600";
        o.lblWL1 = "390 nm";
        o.lblWL2 = o.lblA2 = o.secondary = "600 nm";
        o.lblA1 = "WL1";
        o.primary = "WL1 nm";
        QTest::newRow("wavelength 390")
            << rec("QVR100", "1500", "1.0", "390", "600") << Stored{} << o;
    }
    {
        Outcome o;
        o.wl1 = "400";
        o.wl2 = "780";
        o.lblWL1 = o.lblA1 = o.primary = "400 nm";
        o.lblWL2 = o.lblA2 = o.secondary = "780 nm";
        QTest::newRow("wavelengths 400, 780")
            << rec("QVR100", "1500", "1.0", "400", "780") << Stored{} << o;
    }
    {
        Outcome o;
        o.messages = QStringList{kWavelengthMsg + " 400 781"};
        o.wl1 = "400";
        o.wl2 = "781";
        o.lblWL1 = o.lblA1 = o.primary = "400 nm";
        o.lblWL2 = "781 nm";
        o.lblA2 = "WL2";
        o.secondary = "WL2 nm";
        QTest::newRow("wavelength 781")
            << rec("QVR100", "1500", "1.0", "400", "781") << Stored{} << o;
    }
    {
        Outcome o = recovered(Outcome{});
        o.messages = QStringList{kWavelengthMsg + " 600 510"};
        o.wl1 = "600";
        o.wl2 = "510";
        o.lblWL2 = "6O0 nm";
        o.lblA1 = o.primary = "600 nm";
        o.lblA2 = o.secondary = "510 nm";
        QTest::newRow("wavelength 6O0")
            << rec("QVR100", "1500", "1.0", "450", "6O0") << Stored{} << o;
        // The recovery discards a gain the settings gave.
        o.lblRegGain = "1.87";
        QTest::newRow("wavelength 6O0, stored gain")
            << rec("QVR100", "1500", "1.0", "450", "6O0") << Stored{{"GainSN1500", "1.87"}} << o;
    }
    {
        Outcome o = recovered(Outcome{});
        o.messages = QStringList{kModelMsg + "Q 1000", kGainMsg, kWavelengthMsg + " 600 510"};
        o.model = o.lblModel = "Q";
        o.lblSN = "";
        o.lblGain = "0";
        o.lblRegGain = "1.9";
        o.wl1 = "600";
        o.wl2 = "510";
        o.lblWL1 = o.lblWL2 = " nm";
        o.lblA1 = o.primary = "600 nm";
        o.lblA2 = o.secondary = "510 nm";
        QTest::newRow("just Q") << "Q" << Stored{} << o;
    }
    {
        // A stored gain that is no usable number recovers; so does one that would turn every
        // reading infinite.
        Outcome o = recovered(Outcome{});
        o.lblRegGain = "1.9";
        for (const char* bad : {"abc", "0", "0.0", "-1", "", "inf", "nan", "1e400"})
            QTest::addRow("stored gain \"%s\"", bad)
                << good() << Stored{{"GainSN1500", QString::fromLatin1(bad)}} << o;
    }
}

void TestHeadRecord::parse() {
    QFETCH(QString, record);
    QFETCH(Stored, stored);
    QFETCH(Outcome, expected);

    ReaderState st;
    st.rdrEEPROM = record;
    LabelModel labels;
    labels.set(Label::lblEEPROM, record);
    MemorySettings settings;
    settings.values_ = stored;
    RecordingMessageSink sink;

    const WavelengthCaptions captions = parseEEPROM(st, labels, settings, sink);

    QCOMPARE(sink.messages, expected.messages);
    QCOMPARE(st.rdrModel, expected.model);
    QCOMPARE(st.rdrSN, expected.sn);
    QCOMPARE(st.rdrGain, expected.gain);
    QCOMPARE(st.rdrWL1, expected.wl1);
    QCOMPARE(st.rdrWL2, expected.wl2);
    QCOMPARE(st.headIdentified, expected.identified);
    QCOMPARE(st.rdrEEPROM, expected.record.isEmpty() ? record : expected.record);

    QCOMPARE(labels.text(Label::lblModel), expected.lblModel);
    QCOMPARE(labels.text(Label::lblSN), expected.lblSN);
    QCOMPARE(labels.text(Label::lblGain), expected.lblGain);
    QCOMPARE(labels.text(Label::lblRegGain), expected.lblRegGain);
    QCOMPARE(labels.text(Label::lblWL1), expected.lblWL1);
    QCOMPARE(labels.text(Label::lblWL2), expected.lblWL2);
    QCOMPARE(labels.text(Label::lblA1), expected.lblA1);
    QCOMPARE(labels.text(Label::lblA2), expected.lblA2);
    QCOMPARE(captions.primary, expected.primary);
    QCOMPARE(captions.secondary, expected.secondary);
    // The raw text stays on show, also when the default replaced it.
    QCOMPARE(labels.text(Label::lblEEPROM), record);
}

void TestHeadRecord::neverWritesSettings() {
    ReaderState st;
    st.rdrEEPROM = good();
    LabelModel labels;
    MemorySettings settings;
    RecordingMessageSink sink;
    parseEEPROM(st, labels, settings, sink);
    QVERIFY(settings.values_.isEmpty());
}

// The stored gain is written in the user's form; the record's fields always use '.'.
void TestHeadRecord::commaLocale() {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ReaderState st;
    st.rdrEEPROM = rec("QVR100", "1500", "1.9", "450", "650");
    LabelModel labels;
    MemorySettings settings;
    RecordingMessageSink sink;
    parseEEPROM(st, labels, settings, sink);
    const QString gain = labels.text(Label::lblGain);
    const QString regGain = labels.text(Label::lblRegGain);
    const double noStored = st.rdrGain;

    settings.values_.insert("GainSN1500", "1,87");
    parseEEPROM(st, labels, settings, sink);
    QLocale::setDefault(saved);

    QVERIFY(sink.messages.isEmpty());
    QCOMPARE(gain, "1,9");
    QCOMPARE(regGain, "1,9");
    QCOMPARE(noStored, 1.9);
    QCOMPARE(st.rdrGain, 1.87);
    QVERIFY(st.headIdentified);
}

void TestHeadRecord::garbageGivesUsableGain_data() {
    QTest::addColumn<QString>("record");
    QTest::newRow("Q then NULs") << "Q" + QString(63, QChar(0));
    QTest::newRow("Q then 255s") << "Q" + QString(63, QChar(0xFF));
    QTest::newRow("Q then Latin-1 digits") << "Q" + QString(63, QChar(0xB9));
    QTest::newRow("cut in the serial") << QString("QVR10015");
    QTest::newRow("cut in the gain") << QString("QVR10015001.");
    QTest::newRow("cut in a wavelength") << QString("QVR10015001.04506");
    QTest::newRow("signs and exponents") << rec("QVR100", "-1e3", "9e9", "+45", "1e3");
    QTest::newRow("blanks") << rec("QVR100", "    ", "   ", "   ", "   ");
    QTest::newRow("decimal points") << rec("QVR100", "15.0", "1.9", "4.5", "65.");
}

// Whatever the head sends, the gain in use is a finite number above 0 and every text is set.
void TestHeadRecord::garbageGivesUsableGain() {
    QFETCH(QString, record);
    ReaderState st;
    st.rdrEEPROM = record;
    LabelModel labels;
    MemorySettings settings;
    RecordingMessageSink sink;
    const WavelengthCaptions captions = parseEEPROM(st, labels, settings, sink);
    QVERIFY(std::isfinite(st.rdrGain));
    QVERIFY(st.rdrGain > 0);
    QVERIFY(sink.messages.size() <= 3);
    QVERIFY(!labels.text(Label::lblA1).isEmpty());
    QVERIFY(!labels.text(Label::lblA2).isEmpty());
    QVERIFY(!captions.primary.isEmpty());
    QVERIFY(!captions.secondary.isEmpty());
}

QTEST_GUILESS_MAIN(TestHeadRecord)
#include "test_head_record.moc"
