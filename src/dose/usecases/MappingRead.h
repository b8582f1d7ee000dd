#pragma once
// A mapping run's dosimeter read through the running reader exactly as a job's is (reading
// rules, reading period, reader check, validity, uncertainty), then stored as the run's dose at
// its position with the absorbances, calibration, versions and flags. The simulated head is
// accepted only in a training study.

#include "dose/usecases/DosimeterRead.h"

namespace qvr::dose {

struct MappingReadRequest {
    QString runId;
    QString position;
    ReadRequest read; // its jobId is not used
};

struct MappingRead {
    PositionDose dose; // as stored
    Record record;     // the read it came from, evaluated; not stored as a job's record
    Fit fit;
    QString chainHead;
};

Outcome<MappingRead> readMappingDose(Store& store, ReaderSource& reader,
                                     const MappingReadRequest& request, const Now& now);

} // namespace qvr::dose
