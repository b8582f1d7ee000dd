#pragma once
// The report of a dose-mapping study as rich text, as the job report is: the study, its
// positions, every run's doses and results, the study's results, the ratios to each monitoring
// position with their U and k, the heat maps, and the approval or what blocks it. The heat maps
// are images the writer paints: the text names them "heatmap-0" (the mean), "heatmap-1" ... (a
// run each, in run order).

#include "dose/core/MappingMap.h"
#include "dose/store/Store.h"

namespace qvr::dose {

// A study with its results, as the window and the report show it.
struct StudyView {
    MappingStudyRecords records;
    MappingSummary summary;
    bool approved = false;
};

Outcome<StudyView> loadStudy(Store& store, const QString& studyId);

struct StudyReport {
    QString id; // unique: study, time and a random part
    QString title;
    QString html;
    QString chainHead;
    std::vector<MappingMap> maps; // "heatmap-N" in the text
};

Outcome<StudyReport> buildStudyReport(Store& store, const QString& studyId, const QDateTime& now);

// Why the doses of a ratio need not carry their calibration's systematic part.
QString ratioUncertaintyText();

} // namespace qvr::dose
