#pragma once
// One dosimeter read from the running reader: the next few absorbances it serves, refused
// unless the reader's state passes the reading rules for the job and calibration at each of
// them and, for a job that is not training, the reader passed its check within the lab's
// interval; then recorded with its dose, or that it has none (an original observation too).
// All of them come from one reading period; a restart, a new zero, a wavelength change or the
// film switch opening discards them all.

#include "dose/core/Clock.h"
#include "dose/link/ReaderSource.h"
#include "dose/store/Store.h"
#include "dose/usecases/UsableCalibration.h"

namespace qvr::dose {

struct ReadRequest {
    QString jobId;
    QString dosimeter;
    qint64 calibrationId = 0;
    std::optional<double> thicknessUm;  // a gauge's reading; else the batch's nominal
    std::optional<double> uThicknessUm; // else the batch's spread, the cautious choice
    bool thicknessConfirmed = false;    // a gauge reading far from the nominal is meant
    int readings = 3;
    QDateTime irradiatedAt;
    QString comment;
    QString operatorName;
    int timeoutMs = 10000; // for each awaited reading
};

struct DosimeterRead {
    Record record; // as stored
    Fit fit;       // that gave its dose
    QString chainHead;
    QString warning; // what went wrong after the readings, recorded anyway
};

// What a film is read for: a job or a mapping study, training or not ("job J", "study S").
struct ReadSubject {
    bool training = false;
    QString name;
};

// Why a request is refused before the reader is asked (its dosimeter id, readings, gauge).
std::optional<QString> readRequestRefusal(const ReadRequest& request);

// The film's readings under the reading rules and the reader check for subject, with what they
// came with and the calibration; not yet evaluated nor stored.
Outcome<Record> readFilm(Store& store, ReaderSource& reader, const ReadRequest& request,
                         const Usable& use, const ReadSubject& subject, const Now& now);

Outcome<DosimeterRead> readDosimeter(Store& store, ReaderSource& reader, const ReadRequest& request,
                                     const Now& now);

} // namespace qvr::dose
