#include "core/FaultState.h"

#include "core/LabelModel.h"
#include "core/StderrMessageSink.h"

namespace qvr {

namespace {
// A failure the driver could not describe is a fault all the same.
QString described(const QString& detail) {
    return detail.isEmpty() ? QStringLiteral("card call failed") : detail;
}
} // namespace

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
    set(reading_, described(detail));
}

void FaultState::clear() {
    set(reading_, {});
}

void FaultState::raiseHead(const QString& detail) {
    set(head_, described(detail));
}

void FaultState::clearHead() {
    set(head_, {});
}

void FaultState::set(QString& slot, const QString& text) {
    const bool wasFaulty = faulty();
    slot = text;
    if (labels_.text(Label::Fault) == detail())
        return;
    if (!wasFaulty)
        log(QStringLiteral("card fault, no readings: %1").arg(detail()));
    else if (!faulty())
        log(QStringLiteral("card fault cleared, readings resume"));
    labels_.set(Label::Fault, detail());
    showState();
}

void FaultState::setPhase(Phase phase) {
    phase_ = phase;
    showState();
}

void FaultState::setNotice(const QString& text) {
    if (labels_.text(Label::Notice) != text)
        labels_.set(Label::Notice, text);
}

const QString& FaultState::notice() const {
    return labels_.text(Label::Notice);
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
    case Phase::Caution:
        return QStringLiteral("caution");
    case Phase::FilterCheck:
        return QStringLiteral("filter check");
    }
    return QStringLiteral("starting");
}

} // namespace qvr
