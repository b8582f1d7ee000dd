#pragma once
// The report of a job as rich text (HTML that QTextDocument lays out): its id, the job, batch,
// calibration, reader and last check, a row per read, the decision with its rule, who read and
// who reviewed, and the chain's newest hash so the report ties to the database.

#include "dose/store/Store.h"

namespace qvr::dose {

struct JobReport {
    QString id; // unique: job, time and a random part
    QString title;
    QString html;
    QString chainHead;
};

Outcome<JobReport> buildJobReport(Store& store, const QString& jobId, const QDateTime& now);

// The newest passing check of head at wavelength up to when, or nothing.
std::optional<ReaderCheck> lastPassingCheck(const std::vector<ReaderCheck>& checks,
                                            const QString& head, int wavelengthNm,
                                            const QDateTime& when);

} // namespace qvr::dose
