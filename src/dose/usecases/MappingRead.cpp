#include "dose/usecases/MappingRead.h"

#include "dose/core/MappingRead.h"

namespace qvr::dose {

Outcome<MappingRead> readMappingDose(Store& store, ReaderSource& reader,
                                     const MappingReadRequest& req, const Now& now) {
    // Before the reader is asked: a film that cannot be stored is not read.
    if (auto why = readRequestRefusal(req.read))
        return Failure{*why};
    auto study = store.mappingStudyOfRun(req.runId);
    if (!study)
        return Failure{study.error()};
    if (auto why = mappingReadRefusal(*study, req.runId, req.position))
        return Failure{*why};
    auto use = usableCalibration(store, req.read.calibrationId, now().date());
    if (!use)
        return Failure{use.error()};
    const ReadSubject subject{study->study.training, QStringLiteral("study ") + study->study.id};
    auto rec = readFilm(store, reader, req.read, *use, subject, now);
    if (!rec)
        return Failure{rec.error()};
    // Judged as a job without dose limits: the study's limits are for its results, not a film.
    Job standIn;
    standIn.id = req.runId;
    standIn.training = subject.training;
    evaluateRecord(*rec, use->fit, standIn, use->calibration);
    PositionDose dose = positionDoseOfRead(*rec, use->fit);
    dose.runId = req.runId;
    dose.position = req.position;
    auto r = store.addMappingDoses({dose});
    if (!r)
        return Failure{r.error()};
    auto stored = store.mappingStudy(study->study.id);
    if (!stored)
        return Failure{stored.error()};
    for (const PositionDose& d : stored->doses)
        if (d.id == r->id)
            return MappingRead{d, *rec, use->fit, r->hash};
    return Failure{QStringLiteral("the dose just stored at %1 is not found").arg(req.position)};
}

} // namespace qvr::dose
