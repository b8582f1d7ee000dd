#pragma once
// What the filter check dialog does, without the widgets: its own zero, the three filter
// readings and their results, copied to the main window's na, nb and nc.

#include "measure/Measurement.h"

#include <QString>
#include <array>
#include <optional>

namespace qvr {

class Acquisition;
class ClearPath;
class LabelModel;
struct ReaderState;

class FilterCheck {
public:
    enum Filter { Light, Medium, Dark };
    static constexpr int kFilters = 3;

    // Each opening of the dialog starts a fresh check. clearPath (when given) judges its zero.
    FilterCheck(Acquisition& acquisition, ReaderState& state, LabelModel& labels,
                ClearPath* clearPath = nullptr);

    // The wavelength being read: the main window's WL as it is when the check opens.
    const QString& wavelength() const { return wavelength_; }

    // cmdZero: one reading becomes ndfZero; the filter buttons become usable. Leaves z1 alone.
    // A failed reading is no zero; one darker than the head's clear path (a filter left in) is
    // refused too, unless trusted: then it becomes the clear path. A failed zero keeps the
    // check's earlier zero; a refused one leaves the check without one.
    ZeroResult zero(bool trusted = false);
    // One reading of the filter against ndfZero; its text goes to the result field and to the
    // main window's label. Does nothing before a zero of this check.
    void read(Filter filter);

    // The filter buttons are usable once this check has its zero.
    bool filtersEnabled() const { return zeroed_; }
    double ndfZero() const { return ndfZero_; }
    // The filter's absorbance against ndfZero, or nullopt before it was read in this check.
    std::optional<double> value(Filter filter) const { return values_[filter]; }
    // The text of the result field; empty before the filter was read (the field is hidden).
    QString resultText(Filter filter) const;

private:
    Acquisition& acquisition_;
    ReaderState& state_;
    LabelModel& labels_;
    ClearPath* clearPath_;
    QString wavelength_;
    double ndfZero_ = 0;
    bool zeroed_ = false;
    std::array<std::optional<double>, kFilters> values_{};
};

} // namespace qvr
