#include "core/FaultState.h"

#include "core/LabelModel.h"
#include "core/StderrMessageSink.h"

namespace qvr {

FaultState::FaultState(LabelModel& labels, MessageSink* log) : labels_(labels), log_(log) {
    showState();
}

void FaultState::log(const QString& line) {
    if (log_) {
        log_->showMessage(line);
        return;
    }
    StderrMessageSink().showMessage(line);
}

void FaultState::raise(const QString& detail) {
    // A failure the driver could not describe is a fault all the same.
    const QString text = detail.isEmpty() ? QStringLiteral("card call failed") : detail;
    if (text == detail_)
        return;
    if (detail_.isEmpty())
        log(QStringLiteral("card fault, no readings: %1").arg(text));
    detail_ = text;
    labels_.set(Label::Fault, detail_);
    showState();
}

void FaultState::clear() {
    if (detail_.isEmpty())
        return;
    detail_.clear();
    log(QStringLiteral("card fault cleared, readings resume"));
    labels_.set(Label::Fault, detail_);
    showState();
}

void FaultState::setPhase(Phase phase) {
    phase_ = phase;
    showState();
}

void FaultState::showState() {
    const QString text = stateText(phase_, faulty());
    if (labels_.text(Label::State) != text)
        labels_.set(Label::State, text);
}

QString stateText(Phase phase, bool faulty) {
    if (faulty)
        return QStringLiteral("fault");
    switch (phase) {
    case Phase::Starting:
        return QStringLiteral("starting");
    case Phase::Zeroing:
        return QStringLiteral("zeroing");
    case Phase::Reading:
        return QStringLiteral("reading");
    case Phase::FilterCheck:
        return QStringLiteral("filter check");
    }
    return QStringLiteral("starting");
}

} // namespace qvr
