#pragma once
// The one fault state of the program and the reader's phase, kept in the label model as the
// items Fault (the driver's own account of the failure, empty while all is well) and State
// ("starting", "zeroing", "reading", "filter check", or "fault" while a fault holds). Both
// labels are written only when their text changes, so a linked client hears of each change
// once. A fault starting and a fault clearing each make one line in the log.

#include <QString>

namespace qvr {

class LabelModel;
class MessageSink;

enum class Phase { Starting, Zeroing, Reading, FilterCheck };

class FaultState {
public:
    // log receives the start and clear lines; the process's standard error when null.
    explicit FaultState(LabelModel& labels, MessageSink* log = nullptr);

    void setLog(MessageSink* log) { log_ = log; }

    // A driver call failed; detail says how, in the driver's words.
    void raise(const QString& detail);
    // Every call of a whole reading succeeded.
    void clear();
    bool faulty() const { return !detail_.isEmpty(); }
    const QString& detail() const { return detail_; }

    void setPhase(Phase phase);
    Phase phase() const { return phase_; }

private:
    void log(const QString& line);
    void showState();

    LabelModel& labels_;
    MessageSink* log_;
    QString detail_;
    Phase phase_ = Phase::Starting;
};

// The text of State for a phase, or for the fault.
QString stateText(Phase phase, bool faulty);

} // namespace qvr
