#include "measure/Measurement.h"

#include "core/Clock.h"
#include "core/LabelModel.h"
#include "core/MessageSink.h"
#include "core/Messages.h"
#include "core/NumberText.h"
#include "core/ReaderState.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"
#include "measure/ClearPath.h"

namespace qvr {

namespace {
void showError(LabelModel& labels, Label l) {
    // A linked client hears of a failed zero once, not at every retry.
    if (labels.text(l) != kNotANumberText)
        labels.set(l, kNotANumberText);
}
} // namespace

Measurement::Measurement(Acquisition& acquisition, Timer& tmrRead, MessageSink& messages,
                         ClearPath* clearPath)
    : acquisition_(acquisition), tmrRead_(tmrRead), messages_(messages), clearPath_(clearPath) {}

ZeroResult Measurement::zero(bool trusted) {
    ReaderState& st = acquisition_.lines().state();
    LabelModel& labels = acquisition_.lines().labels();
    tmrRead_.setEnabled(false);
    // Checked before and after: a film put in during the reading is caught as well.
    if (acquisition_.present())
        return {ZeroResult::FilmIn};
    if (!acquisition_.getVoltages()) {
        showError(labels, Label::lblZero);
        showError(labels, Label::A);
        return {ZeroResult::Failed};
    }
    if (acquisition_.filmIn())
        return {ZeroResult::FilmIn};
    if (clearPath_ && !trusted)
        if (const std::optional<double> darker = clearPath_->darkness(st.v1))
            return {ZeroResult::Darker, *darker};

    st.z1 = st.v1;
    labels.set(Label::lblZero, formatFixed(st.z1, 4));
    labels.set(Label::Zeros, QString::number(++zeros_));
    if (clearPath_)
        clearPath_->keep(st.z1);
    ZeroResult taken{ZeroResult::Taken};
    if (st.v1 < kLightPathLevel)
        taken.caution = 1011;
    else if (st.v1 < kDimLampLevel)
        taken.caution = 1010;
    if (taken.caution)
        messages_.showMessage(text(taken.caution));
    tmrRead_.setEnabled(true);
    return taken;
}

void Measurement::useZero(double z) {
    ReaderState& st = acquisition_.lines().state();
    st.z1 = z;
    acquisition_.lines().labels().set(Label::lblZero, formatFixed(z, 4));
    tmrRead_.setEnabled(true);
}

bool Measurement::getA() {
    ReaderState& st = acquisition_.lines().state();
    const bool good = acquisition_.getVoltages();
    acquisition_.lines().labels().set(Label::A, formatAbsorbance(st.z1 - st.v1));
    tmrRead_.setEnabled(true);
    return good;
}

} // namespace qvr
