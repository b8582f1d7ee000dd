#pragma once
// A film read at both of the head's wavelengths: at the wavelength the reader is at, then, the
// film still in, at the other, and the reader switched back at the end whatever happened. Both
// reads come from one reading period but for the wavelength: the same reader process, film
// and zeros throughout.

#include "dose/usecases/DosimeterRead.h"
#include "dose/usecases/UsableCalibration.h"

namespace qvr::dose {

// The calibration made from the same films as calibration at the head's other wavelength, as
// far as it may give doses today; or why there is none.
Outcome<Usable> sameFilmsCalibration(Store& store, const Calibration& calibration,
                                     const QDate& today);

// The pair in the order of the read: first the calibration at the wavelength the reader is at.
struct DualPlan {
    Usable first;
    Usable second;
    bool atSecondary = false; // the reader is at the head's second wavelength
    QString otherText;        // the other wavelength as the reader names it
    ReadingContext firstContext(const Job& job) const {
        return {job.training, first.calibration.wavelengthNm, first.calibration.headSerial};
    }
    ReadingContext secondContext(const Job& job) const {
        return {job.training, second.calibration.wavelengthNm, second.calibration.headSerial};
    }
};

// The pair ordered for the reader's items, or why it does not fit them (neither calibration at
// the reader's wavelength, or the other not at the head's other one).
Outcome<DualPlan> orderPair(const Usable& chosen, const Usable& partner, const ReaderItems& items);

// The pair of calibrations ordered for the reader's items, or why the reader may not read the
// film at both now: its state, or a missing reader check or certificate at either wavelength.
Outcome<DualPlan> planBothWavelengths(Store& store, const Job& job, const Usable& chosen,
                                      const Usable& partner, const ReaderItems& items,
                                      const QDateTime& now);

// The film read at the first wavelength from start on: switches the reader to the other, reads
// there and switches back. A failure says whether the switch back failed too.
struct OtherRead {
    std::vector<Reading> readings;
    QString zeroText;
    QString warning; // the switch back failed after a whole read
};
Outcome<OtherRead> readAtOtherWavelength(ReaderSource& reader, const DualPlan& plan, const Job& job,
                                         const ReaderItems& start, int readings, int timeoutMs,
                                         const Now& now);

// Records record (its first read, film and dosimeter given) with other as its second read.
Outcome<DosimeterRead> recordBothWavelengths(Store& store, const Job& job, const DualPlan& plan,
                                             Record record, const OtherRead& other);

// readDosimeter for a job that reads both wavelengths; request.calibrationId names either
// calibration of the pair.
Outcome<DosimeterRead> readBothWavelengths(Store& store, ReaderSource& reader,
                                           const ReadRequest& request, const Job& job,
                                           const QString& dosimeter, const Now& now);

} // namespace qvr::dose
