#pragma once
// The one fault state of the program and the reader's phase, kept in the label model as the
// items Fault (why no reading can be had, empty while all is well), State ("starting",
// "zeroing", "reading", "caution", "filter check", or "fault" while a fault holds) and Notice
// (what the reader asks of the user or warns about, empty when nothing). The labels are
// written only when their text changes, so a linked client hears of each change once. A fault
// starting and a fault clearing each make one line in the log.

#include <QString>

namespace qvr {

class LabelModel;
class MessageSink;

// Caution: reading, against a zero that raised the light-path caution.
enum class Phase { Starting, Zeroing, Reading, Caution, FilterCheck };

class FaultState {
public:
    // log receives the start and clear lines; the process's standard error when null.
    explicit FaultState(LabelModel& labels, MessageSink* log = nullptr);

    void setLog(MessageSink* log) { log_ = log; }
    // One line in the log (standard error unless set otherwise).
    void log(const QString& line);

    // A reading failed (a driver call, the converter at its rail); detail says how.
    void raise(const QString& detail);
    // A whole reading succeeded.
    void clear();
    // The head record could not be read: no reading means anything until it is. Outlasts
    // every good reading; only clearHead() ends it.
    void raiseHead(const QString& detail);
    void clearHead();

    bool faulty() const { return !detail().isEmpty(); }
    // The head's fault first, else the reading's.
    const QString& detail() const { return head_.isEmpty() ? reading_ : head_; }

    void setPhase(Phase phase);
    Phase phase() const { return phase_; }

    void setNotice(const QString& text);
    const QString& notice() const;

private:
    // One of the two faults takes text (empty: it ends); Fault shows the one that counts.
    void set(QString& slot, const QString& text);
    void showState();

    LabelModel& labels_;
    MessageSink* log_;
    QString reading_;
    QString head_;
    Phase phase_ = Phase::Starting;
};

// The text of State for a phase, or for the fault.
QString stateText(Phase phase, bool faulty);

} // namespace qvr
