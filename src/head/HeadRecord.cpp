#include "head/HeadRecord.h"

#include "core/LabelModel.h"
#include "core/MessageSink.h"
#include "core/Messages.h"
#include "core/NumberText.h"
#include "core/ReaderState.h"
#include "core/Settings.h"

#include <cmath>
#include <optional>

namespace qvr {

namespace {

const QString kModel = QStringLiteral("QVR100");
constexpr double kMinSerial = 1000;
constexpr double kMaxSerial = 1999;
constexpr double kMinWavelength = 400;
constexpr double kMaxWavelength = 780;
const QString kGain10 = QStringLiteral("1.0");
const QString kGain19 = QStringLiteral("1.9");
const QString kNm = QStringLiteral(" nm");
const QString kGainKeyPrefix = QStringLiteral("GainSN");

constexpr double kRecoveryGain = 1.9;
const QString kRecoverySN = QStringLiteral("1000");
const QString kRecoveryWL1 = QStringLiteral("600");
const QString kRecoveryWL2 = QStringLiteral("510");

constexpr int kModelMessage = 1101;
constexpr int kWavelengthMessage = 1102;
constexpr int kGainMessage = 1103;
constexpr int kStoredGainMessage = 1105;
constexpr int kPrimaryCaption = 116;
constexpr int kSecondaryCaption = 119;

// Positions count from 1; a short record gives a shorter or empty field.
QString field(const QString& record, int first, int width) {
    return record.mid(first - 1, width);
}

bool inRange(std::optional<double> v, double lo, double hi) {
    return v && *v >= lo && *v <= hi;
}

// Whatever field failed to convert, the head is taken for the default one: it is no longer
// known from its own record.
void recover(ReaderState& st) {
    st.rdrGain = kRecoveryGain;
    st.rdrSN = kRecoverySN;
    st.rdrWL1 = kRecoveryWL1;
    st.rdrWL2 = kRecoveryWL2;
    st.headIdentified = false;
}

// A gain of 0, a negative one or one too large to hold would turn every reading into
// nonsense; it counts as a text that does not convert.
std::optional<double> usableGain(const QString& text) {
    const std::optional<double> g = storedNumber(text);
    if (g && std::isfinite(*g) && *g > 0)
        return g;
    return std::nullopt;
}

// Sets the hidden label of one wavelength and gives its menu caption: the wavelength where
// it is usable, the placeholder otherwise.
QString showWavelength(LabelModel& labels, Label hidden, int captionId, QLatin1String placeholder,
                       const QString& wl, bool valid) {
    labels.set(hidden, valid ? wl + kNm : QString(placeholder));
    QString caption = text(captionId);
    if (valid)
        caption.replace(placeholder, wl);
    return caption;
}

} // namespace

QString defaultHeadRecord() {
    return QStringLiteral("QVR10010001.9510600") + QStringLiteral(" QVR").repeated(11) +
           QLatin1Char(' ');
}

WavelengthCaptions parseEEPROM(ReaderState& st, LabelModel& labels, const SettingsStore& settings,
                               MessageSink& messages) {
    // Record check: no head or a blank part gives no "Q"; take the default silently.
    st.headIdentified = st.rdrEEPROM.startsWith(QLatin1Char('Q'));
    if (!st.headIdentified)
        st.rdrEEPROM = defaultHeadRecord();
    const QString record = st.rdrEEPROM;

    // Model and serial number, as text.
    st.rdrModel = field(record, 1, 6);
    labels.set(Label::lblModel, st.rdrModel);
    st.rdrSN = field(record, 7, 4);
    labels.set(Label::lblSN, st.rdrSN);

    // Model and serial check.
    const std::optional<double> serial = strictNumber(st.rdrSN);
    if (!serial)
        recover(st);
    if (!serial || st.rdrModel != kModel || !inRange(serial, kMinSerial, kMaxSerial))
        messages.showMessage(text(kModelMessage) + st.rdrModel + QLatin1Char(' ') + st.rdrSN);

    // The record's gain, accepted only as one of the two values a head carries.
    const QString gainField = field(record, 11, 3);
    st.rdrGain = leadingNumber(gainField);
    labels.set(Label::lblGain, numberText(st.rdrGain));
    if (gainField != kGain10 && gainField != kGain19) {
        messages.showMessage(text(kGainMessage) + gainField);
        st.rdrGain = kRecoveryGain;
    }

    // A gain stored for this serial number wins over the record's. The default is always
    // usable, so a refused text is one that stands in the settings: it is said, and left there.
    const QString gainKey = kGainKeyPrefix + st.rdrSN;
    const QString stored = settings.read(gainKey, storedNumberText(st.rdrGain));
    if (const std::optional<double> gain = usableGain(stored)) {
        st.rdrGain = *gain;
    } else {
        messages.showMessage(
            text(kStoredGainMessage).arg(gainKey, stored, numberText(kRecoveryGain)));
        recover(st);
    }
    labels.set(Label::lblRegGain, numberText(st.rdrGain));

    // Wavelengths: both converted before the test.
    st.rdrWL1 = field(record, 14, 3);
    labels.set(Label::lblWL1, st.rdrWL1 + kNm);
    st.rdrWL2 = field(record, 17, 3);
    labels.set(Label::lblWL2, st.rdrWL2 + kNm);
    std::optional<double> wl1 = strictNumber(st.rdrWL1);
    std::optional<double> wl2 = strictNumber(st.rdrWL2);
    const bool converted = wl1 && wl2;
    if (!converted) {
        recover(st);
        wl1 = strictNumber(st.rdrWL1);
        wl2 = strictNumber(st.rdrWL2);
    }
    const bool valid1 = inRange(wl1, kMinWavelength, kMaxWavelength);
    const bool valid2 = inRange(wl2, kMinWavelength, kMaxWavelength);
    if (!converted || !valid1 || !valid2)
        messages.showMessage(text(kWavelengthMessage) + QLatin1Char(' ') + st.rdrWL1 +
                             QLatin1Char(' ') + st.rdrWL2);

    return {showWavelength(labels, Label::lblA1, kPrimaryCaption, QLatin1String("WL1"), st.rdrWL1,
                           valid1),
            showWavelength(labels, Label::lblA2, kSecondaryCaption, QLatin1String("WL2"), st.rdrWL2,
                           valid2)};
}

} // namespace qvr
