#include "measure/FilterCheck.h"

#include "core/LabelModel.h"
#include "core/NumberText.h"
#include "core/ReaderState.h"
#include "measure/Acquisition.h"

namespace qvr {

namespace {
constexpr std::array<Label, FilterCheck::kFilters> kMainWindowLabel = {Label::na, Label::nb,
                                                                       Label::nc};
} // namespace

FilterCheck::FilterCheck(Acquisition& acquisition, ReaderState& state, LabelModel& labels)
    : acquisition_(acquisition), state_(state), labels_(labels),
      wavelength_(labels.text(Label::WL)) {}

void FilterCheck::zero() {
    acquisition_.getVoltages();
    ndfZero_ = state_.v1;
    zeroed_ = true;
}

void FilterCheck::read(Filter filter) {
    if (!zeroed_)
        return;
    acquisition_.getVoltages();
    values_[filter] = ndfZero_ - state_.v1;
    labels_.set(kMainWindowLabel[filter], resultText(filter));
}

QString FilterCheck::resultText(Filter filter) const {
    const std::optional<double>& v = values_[filter];
    return v ? formatFilterResult(*v) : QString();
}

} // namespace qvr
