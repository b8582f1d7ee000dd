#include "measure/Measurement.h"

#include "core/Clock.h"
#include "core/LabelModel.h"
#include "core/MessageSink.h"
#include "core/Messages.h"
#include "core/NumberText.h"
#include "core/ReaderState.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"

namespace qvr {

Measurement::Measurement(Acquisition& acquisition, Timer& tmrRead, MessageSink& messages)
    : acquisition_(acquisition), tmrRead_(tmrRead), messages_(messages) {}

bool Measurement::zero() {
    ReaderState& st = acquisition_.lines().state();
    tmrRead_.setEnabled(false);
    if (!acquisition_.getVoltages()) {
        LabelModel& labels = acquisition_.lines().labels();
        labels.set(Label::lblZero, kNotANumberText);
        labels.set(Label::A, kNotANumberText);
        return false;
    }
    st.z1 = st.v1;
    acquisition_.lines().labels().set(Label::lblZero, formatFixed(st.z1, 4));
    acquisition_.lines().labels().set(Label::Zeros, QString::number(++zeros_));
    if (st.v1 < kLightPathLevel)
        messages_.showMessage(text(1011));
    else if (st.v1 < kDimLampLevel)
        messages_.showMessage(text(1010));
    tmrRead_.setEnabled(true);
    return true;
}

void Measurement::getA() {
    ReaderState& st = acquisition_.lines().state();
    acquisition_.getVoltages();
    acquisition_.lines().labels().set(Label::A, formatAbsorbance(st.z1 - st.v1));
    tmrRead_.setEnabled(true);
}

} // namespace qvr
