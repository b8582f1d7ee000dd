#include "measure/FilterCheck.h"

#include "core/LabelModel.h"
#include "core/NumberText.h"
#include "core/ReaderState.h"
#include "measure/Acquisition.h"
#include "measure/ClearPath.h"

namespace qvr {

namespace {
constexpr std::array<Label, FilterCheck::kFilters> kMainWindowLabel = {Label::na, Label::nb,
                                                                       Label::nc};
} // namespace

FilterCheck::FilterCheck(Acquisition& acquisition, ReaderState& state, LabelModel& labels,
                         ClearPath* clearPath)
    : acquisition_(acquisition), state_(state), labels_(labels), clearPath_(clearPath),
      wavelength_(labels.text(Label::WL)) {}

ZeroResult FilterCheck::zero(bool trusted) {
    // A failed zero keeps the one this check had, if any.
    if (!acquisition_.getVoltages())
        return {ZeroResult::Failed};
    if (clearPath_) {
        if (trusted)
            clearPath_->keep(state_.v1);
        else if (const std::optional<double> darker = clearPath_->darkness(state_.v1)) {
            zeroed_ = false; // no filter is read against a path that was not clear
            return {ZeroResult::Darker, *darker};
        }
    }
    ndfZero_ = state_.v1;
    zeroed_ = true;
    return {ZeroResult::Taken};
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
