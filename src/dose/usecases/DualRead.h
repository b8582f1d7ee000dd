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

// readDosimeter for a job that reads both wavelengths; request.calibrationId names either
// calibration of the pair.
Outcome<DosimeterRead> readBothWavelengths(Store& store, ReaderSource& reader,
                                           const ReadRequest& request, const Job& job,
                                           const QString& dosimeter, const Now& now);

} // namespace qvr::dose
