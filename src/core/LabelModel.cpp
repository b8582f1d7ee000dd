#include "core/LabelModel.h"

#include <QMetaObject>

namespace qvr {

namespace {

struct LabelInfo {
    const char* name;
    const char* initial;
};

// Names and creation-time texts, in the order of the Label enum.
constexpr LabelInfo kLabels[kLabelCount] = {
    {"WL", ""},
    {"A", "Zeroing"},
    {"lblA1", "510 nm"},
    {"lblA2", "600 nm"},
    {"na", " "},
    {"nb", " "},
    {"nc", " "},
    {"Label1", "Diagnostic Information"},
    {"lblModel", "QVR100"},
    {"lblADC", "data"},
    {"lblSN", "SN 1100"},
    {"lblZero", "z.ero"},
    {"lblWL1", "WL1 nm"},
    {"lblVolt", "v.olt"},
    {"lblWL2", "WL2 nm"},
    {"lblPresent", "No film"},
    {"lblGain", "1.9"},
    {"lblButton", "Button up"},
    {"lblRegGain", "1.87"},
    {"Label2", "LED and Buzzer Testing"},
    {"lblEEPROM", "Label3"},
    {"State", "starting"},
    {"Fault", ""},
    {"Notice", ""},
    {"Zeros", "0"},
};

} // namespace

LabelModel::LabelModel(QObject* parent) : QObject(parent) {
    for (int i = 0; i < kLabelCount; ++i)
        texts_[i] = QString::fromLatin1(kLabels[i].initial);
}

QString LabelModel::name(Label l) {
    return QString::fromLatin1(kLabels[static_cast<int>(l)].name);
}

std::optional<Label> LabelModel::find(const QString& name) {
    for (int i = 0; i < kLabelCount; ++i)
        if (name == QLatin1String(kLabels[i].name))
            return static_cast<Label>(i);
    return std::nullopt;
}

void LabelModel::scheduleFlush() {
    if (flushQueued_)
        return;
    flushQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            flushQueued_ = false;
            flush();
        },
        Qt::QueuedConnection);
}

void LabelModel::flush() {
    const LabelSet written = dirty_;
    dirty_ = 0;
    if (written != 0)
        emit changed(written);
}

} // namespace qvr
