#pragma once
// A job's record versions as CSV: the lines record list --csv prints, and the export file,
// headed by the chain's hash so a file ties to the database it came from.

#include "dose/core/RoutineJob.h"
#include "dose/store/Store.h"

namespace qvr::dose {

// The header and a line per version, each ending in a newline, as UTF-8. The last columns hold
// what a routine job's read infers through its study; they stay empty for other jobs.
QByteArray recordsCsvRows(const std::vector<Record>& allVersions,
                          const RoutineSummary* routine = nullptr);

struct CsvExport {
    QString jobId;
    QString file;
    qint64 versions = 0;
    QString chainHead;
    QByteArray text; // the whole file, UTF-8
};

// The export's text, headed by the chain's hash; file stays empty.
Outcome<CsvExport> recordsCsv(Store& store, const QString& jobId);
// Writes the file whole or not at all (see writeOutputFile: a device is written directly).
Outcome<CsvExport> exportRecordsCsv(Store& store, const QString& jobId, const QString& path);

// "12 record versions of job J written to FILE"
QString exportText(const CsvExport& done);

} // namespace qvr::dose
