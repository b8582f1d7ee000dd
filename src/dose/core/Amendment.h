#pragma once
// What is added later to a calibration (its certificate, its validity) or a film batch (a
// background, its uncertainty): a new version of it with a reason, never an edit. Version 1 is
// the row as first stored; each amendment makes the next.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <map>
#include <optional>

namespace qvr::dose {

struct Batch;
struct Calibration;

struct Amendment {
    qint64 id = 0;
    QString subject; // "calibration" or "batch"
    QString subjectId;
    int version = 0;                   // the version it makes: 2 for the first
    QString certificate;               // empty: unchanged
    QDate validUntil;                  // invalid: unchanged
    std::map<int, double> background;  // wavelength in nm -> A0, replacing what is given
    std::map<int, double> uBackground; // wavelength in nm -> standard uncertainty of A0
    QString reason;
    QString operatorName;
    QDateTime createdAt;

    QString canonical() const;
};

inline const QString kCalibrationSubject = QStringLiteral("calibration");
inline const QString kBatchSubject = QStringLiteral("batch");

// Why amendment cannot be made as asked (no reason, nothing given, a field that does not belong
// to its subject, an uncertainty for a wavelength that has no background); nothing when it can.
std::optional<QString> amendmentRefusal(const Amendment& amendment, const Batch* batch);

// The subject with amendment applied; its version becomes the amendment's.
Calibration amended(Calibration calibration, const Amendment& amendment);
Batch amended(Batch batch, const Amendment& amendment);

// "version 2, by ana at 2026-..., why: ..." for history listings.
QString amendmentLine(const Amendment& amendment);

} // namespace qvr::dose
