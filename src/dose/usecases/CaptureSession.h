#pragma once
// Reading a job's dosimeters from the live reader, without widgets: follows the reader's items,
// decides when a reading is stable, and records a dosimeter on the capture action or by itself.
//
// A capture needs a job, a usable calibration and a dosimeter id; the reader's state must pass
// the core's reading rules; and the film must have been taken out since the last capture, so
// one film is never recorded twice and an empty holder never once. Its readings all come from
// one reading period: what ends the period discards the readings taken so far, and says why.

#include "dose/core/LinkState.h"
#include "dose/core/ReadingPeriod.h"
#include "dose/core/StableReadings.h"
#include "dose/link/ReaderSource.h"
#include "dose/store/Store.h"
#include "dose/usecases/UsableCalibration.h"

#include <QObject>
#include <optional>

namespace qvr::dose {

class CaptureSession : public QObject {
    Q_OBJECT
public:
    CaptureSession(Store& store, ReaderSource& source, Now now, QString operatorName,
                   QObject* parent = nullptr);

    // The job and calibration the next captures go to; fails (and keeps none) when either is
    // missing or the calibration is not usable today.
    Outcome<Done> choose(const QString& jobId, qint64 calibrationId);
    bool chosen() const { return job_.has_value(); }
    const Job* job() const { return job_ ? &*job_ : nullptr; }
    const Calibration* calibration() const { return use_ ? &use_->calibration : nullptr; }
    const Fit* fit() const { return use_ ? &use_->fit : nullptr; }
    const Batch* batch() const { return use_ ? &use_->batch : nullptr; }

    // The next dosimeter; without a thickness the batch's nominal is used.
    // confirmed: a gauge thickness far from the nominal is meant.
    void setDosimeter(const QString& id, std::optional<double> thicknessUm = std::nullopt,
                      bool confirmed = false);
    QString dosimeter() const { return dosimeter_; }
    void setComment(const QString& comment) { comment_ = comment; }
    void setStableRule(StableRule rule) { stable_.setRule(rule); }
    StableRule stableRule() const { return stable_.rule(); }
    void setAutomatic(bool on) { automatic_ = on; }
    bool automatic() const { return automatic_; }

    // Asks the reader for its items; written says the reader wrote A since the last poll, so
    // this is a new reading (a poll to notice a lost or returned reader is not).
    void poll(bool written);

    // The capture action.
    Outcome<Record> capture();

    LinkState state() const { return state_; }
    const QString& operatorName() const { return operator_; }
    // The reader and clock, for a read that is not a job's capture (a mapping run's).
    ReaderSource& source() const { return source_; }
    const Now& now() const { return now_; }
    const ReaderItems& items() const { return items_; }
    bool stable() const { return stable_.stable(); }
    bool filmOutSinceCapture() const { return filmOut_; }
    // Why a capture now would be refused, or nothing.
    std::optional<QString> blocker() const;
    // Asks the store again whether the reader check allows reading (after a check is recorded).
    void refreshReaderCheck();

signals:
    void linkChanged();                          // state or items changed
    void reading(const QDateTime& at, double a); // every new number the reader served
    void captured(const qvr::dose::Record& record, const QString& chainHead);
    void refused(const QString& why); // also for readings discarded
    // After a capture at both wavelengths: the reader did not go back to where it was.
    void switchBackFailed(const QString& why);

private:
    void discard(const QString& why);
    // A job that reads both wavelengths: the calibration of the same films at the other one.
    Outcome<Done> chooseSecond();
    std::optional<QString> dualBlocker() const;
    Outcome<Record> captureBothWavelengths(Record first);

    Store& store_;
    ReaderSource& source_;
    Now now_;
    QString operator_;
    std::optional<Job> job_;
    std::optional<Usable> use_;
    QString dosimeter_;
    std::optional<double> thicknessUm_;
    bool thicknessConfirmed_ = false;
    QString comment_;
    StableReadings stable_;
    ReadingPeriod period_; // of the readings in stable_
    bool automatic_ = true;
    bool filmOut_ = true;
    LinkState state_ = LinkState::NotRunning;
    ReaderItems items_;
    std::optional<QString> checkRefusal_; // as of the last refresh
    std::optional<Usable> other_;         // for a job that reads both wavelengths
    bool switching_ = false;              // reading at the other wavelength: polls wait
};

} // namespace qvr::dose
