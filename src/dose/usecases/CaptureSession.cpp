#include "dose/usecases/CaptureSession.h"

#include "dose/core/Quantity.h"
#include "dose/core/TextRules.h"
#include "dose/usecases/DualRead.h"
#include "dose/usecases/RoleGate.h"

namespace qvr::dose {

namespace {

// For each awaited reading at the other wavelength.
constexpr int kSwitchTimeoutMs = 10000;

bool filmIn(const ReaderItems& items) {
    return items.value(QStringLiteral("lblPresent")).toString() == u"Film";
}

} // namespace

CaptureSession::CaptureSession(Store& store, ReaderSource& source, Now now, QString operatorName,
                               QObject* parent)
    : QObject(parent), store_(store), source_(source), now_(std::move(now)),
      operator_(std::move(operatorName)) {}

Outcome<Done> CaptureSession::choose(const QString& jobId, qint64 calibrationId) {
    job_.reset();
    use_.reset();
    other_.reset();
    auto job = store_.job(jobId);
    if (!job)
        return Failure{job.error()};
    auto use = usableCalibration(store_, calibrationId, now_().date());
    if (!use)
        return Failure{use.error()};
    if (auto why = traceabilityRefusal(*job, use->calibration))
        return Failure{*why};
    job_ = *job;
    use_ = *use;
    if (auto second = chooseSecond(); !second) {
        job_.reset();
        use_.reset();
        return second;
    }
    refreshReaderCheck();
    return Done{};
}

void CaptureSession::refreshReaderCheck() {
    checkRefusal_.reset();
    if (job_ && use_)
        checkRefusal_ = readerCheckRefusal(store_, *job_, use_->calibration, now_());
    if (job_ && other_ && !checkRefusal_)
        checkRefusal_ = readerCheckRefusal(store_, *job_, other_->calibration, now_());
}

void CaptureSession::setDosimeter(const QString& id, std::optional<double> thicknessUm,
                                  bool confirmed) {
    thicknessConfirmed_ = confirmed;
    dosimeter_ = id.trimmed();
    thicknessUm_ = thicknessUm;
}

void CaptureSession::discard(const QString& why) {
    if (!stable_.empty())
        emit refused(QStringLiteral("%1 while the film was being read: its readings so far are "
                                    "discarded and nothing is recorded")
                         .arg(why));
    stable_.clear();
    period_.clear();
}

void CaptureSession::poll(bool written) {
    // The capture at the other wavelength follows the reader itself.
    if (switching_)
        return;
    auto items = source_.items();
    const LinkState before = state_;
    if (!items) {
        state_ = LinkState::NotRunning;
        items_.clear();
        discard(QStringLiteral("the reader stopped"));
        if (before != state_)
            emit linkChanged();
        return;
    }
    items_ = *items;
    state_ = linkStateOf(&items_);
    if (auto broken = period_.broken(items_))
        discard(*broken);
    if (!filmIn(items_)) {
        // The holder is empty: the next film is a new one.
        filmOut_ = true;
        discard(QStringLiteral("the film switch opened"));
    } else if (written) {
        if (auto a = servedAbsorbance(items_.value(QStringLiteral("A")).toString())) {
            if (!period_.begun())
                period_.begin(items_);
            const QDateTime at = now_();
            stable_.add(at, *a);
            emit reading(at, *a);
        } else {
            stable_.clear();
            period_.clear();
        }
    }
    emit linkChanged();
    if (written && automatic_ && stable_.stable() && !blocker())
        capture();
}

std::optional<QString> CaptureSession::blocker() const {
    if (!job_ || !use_)
        return QStringLiteral("choose a job and a calibration first");
    if (dosimeter_.isEmpty())
        return QStringLiteral("type or scan the dosimeter's id first");
    if (auto why = idRefusal(QStringLiteral("dosimeter id"), dosimeter_))
        return why;
    if (auto why = gaugeRefusal(thicknessUm_, std::nullopt))
        return why;
    if (thicknessUm_ && !thicknessConfirmed_)
        if (auto why = thicknessNeedsConfirming(*thicknessUm_, use_->batch.thicknessUm,
                                                QStringLiteral("tick \"confirmed\"")))
            return why;
    if (state_ == LinkState::NotRunning)
        return QStringLiteral("the reader is not running");
    if (other_) {
        if (auto why = dualBlocker())
            return why;
    } else if (auto why = refusal(items_, {job_->training, use_->calibration.wavelengthNm,
                                           use_->calibration.headSerial}))
        return why;
    if (checkRefusal_)
        return checkRefusal_;
    if (!filmOut_)
        return QStringLiteral("this film was captured already: take it out and put in the next");
    if (stable_.empty())
        return QStringLiteral("no reading of this film yet");
    return std::nullopt;
}

Outcome<Record> CaptureSession::capture() {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("read"))) {
        emit refused(*why);
        return Failure{*why};
    }
    refreshReaderCheck(); // the check may have expired or failed since
    if (auto why = blocker()) {
        emit refused(*why);
        return Failure{*why};
    }
    Record rec;
    for (const auto& [at, a] : stable_.latest())
        rec.readings.push_back({at, a});
    rec.jobId = job_->id;
    rec.dosimeter = dosimeter_;
    takeCalibration(rec, *use_);
    rec.simulated = items_.value(QStringLiteral("Simulated")).toBool();
    rec.readAt = rec.readings.back().at;
    rec.zeroText = items_.value(QStringLiteral("lblZero")).toString();
    rec.thicknessMeasured = thicknessUm_.has_value();
    rec.thicknessUm = thicknessUm_.value_or(use_->batch.thicknessUm);
    rec.uThicknessUm = use_->batch.uThicknessUm;
    rec.operatorName = operator_;
    rec.comment = comment_;
    if (other_)
        return captureBothWavelengths(rec);
    const Job job = *job_;
    const Usable use = *use_;
    auto receipt = store_.addRecord(rec, [&](Record& r) {
        evaluateRecord(r, use.fit, job, use.calibration);
        rec = r;
    });
    if (!receipt) {
        emit refused(receipt.error());
        return Failure{receipt.error()};
    }
    filmOut_ = false;
    stable_.clear();
    period_.clear();
    emit captured(rec, receipt->hash);
    return rec;
}

Outcome<Done> CaptureSession::chooseSecond() {
    if (!job_->bothWavelengths)
        return Done{};
    auto other = sameFilmsCalibration(store_, use_->calibration, now_().date());
    if (!other)
        return Failure{other.error()};
    if (auto why = traceabilityRefusal(*job_, other->calibration))
        return Failure{*why};
    other_ = *other;
    return Done{};
}

std::optional<QString> CaptureSession::dualBlocker() const {
    auto plan = orderPair(*use_, *other_, items_);
    if (!plan)
        return plan.error();
    return refusal(items_, plan->firstContext(*job_));
}

Outcome<Record> CaptureSession::captureBothWavelengths(Record rec) {
    const Job job = *job_;
    auto plan = planBothWavelengths(store_, job, *use_, *other_, items_, now_());
    if (!plan) {
        emit refused(plan.error());
        return Failure{plan.error()};
    }
    // The plan's first calibration is the one the reader read at; the film's batch is the same.
    rec.thicknessUm = thicknessUm_.value_or(plan->first.batch.thicknessUm);
    const ReaderItems start = items_;
    const int readings = static_cast<int>(rec.readings.size());
    switching_ = true;
    auto other =
        readAtOtherWavelength(source_, *plan, job, start, readings, kSwitchTimeoutMs, now_);
    switching_ = false;
    stable_.clear();
    period_.clear();
    auto read = other ? recordBothWavelengths(store_, job, *plan, rec, *other)
                      : Outcome<DosimeterRead>(Failure{other.error()});
    if (!read) {
        emit refused(read.error());
        return Failure{read.error()};
    }
    filmOut_ = false;
    emit captured(read->record, read->chainHead);
    if (!read->warning.isEmpty())
        emit switchBackFailed(read->warning);
    return read->record;
}

} // namespace qvr::dose
