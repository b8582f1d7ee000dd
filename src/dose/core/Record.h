#pragma once
// One reading of one dosimeter: what was read, on which instrument and calibration, by whom,
// and the dose with its uncertainty. Every read is its own record; a correction is a new
// version of the record with its reason, and the earlier version stays.

#include "dose/core/Calibration.h"
#include "dose/core/Dose.h"
#include "dose/core/Fit.h"
#include "dose/core/Job.h"
#include "dose/core/Signature.h"
#include "dose/core/TwoWavelengths.h"

#include <QDateTime>
#include <QStringList>
#include <vector>

namespace qvr::dose {

struct Reading {
    QDateTime at;
    double absorbance = 0;
};

// The same film read at the head's other wavelength, right after the first, through the
// calibration made from the same films; with each wavelength's own dose and their agreement.
struct SecondRead {
    int wavelengthNm = 0;
    qint64 calibrationId = 0;
    int calibrationVersion = 0;
    qint64 fitId = 0;
    std::vector<Reading> readings;
    QString zeroText;
    double absorbance = 0; // mean of the readings
    double a0 = 0;
    double uA0 = 0;
    // Computed from both reads: the record's own result is the film's dose they give.
    DoseResult first;
    DoseResult second;
    DualOutcome outcome = DualOutcome::NoDose;
    bool hasAgreement = false;
    Agreement agreement;
    double weightFirst = 0;
    QString note;
};

struct Record {
    qint64 id = 0;
    int version = 1;
    QString reason; // why this version replaces the previous one
    QString jobId;
    QString dosimeter;
    QDateTime irradiatedAt; // invalid: not given
    qint64 calibrationId = 0;
    qint64 fitId = 0;
    QString batchId;
    int wavelengthNm = 0;
    QString headSerial;
    bool simulated = false;
    QDateTime readAt;
    std::vector<Reading> readings;
    QString zeroText;      // the reader's zero reference as served
    double absorbance = 0; // mean of the readings
    double a0 = 0;
    double thicknessUm = 0;
    double uThicknessUm = 0;
    bool thicknessMeasured = false; // a gauge reading, else the batch nominal
    // The versions of the calibration and the batch the read used; 0: stored before they were
    // kept (the first).
    int calibrationVersion = 0;
    int batchVersion = 0;
    double uA0 = 0; // the standard uncertainty of a0 (the batch's)
    DoseResult result;
    int reread = 0; // 0: first read of this dosimeter in the job
    QStringList flags;
    QString operatorName;
    QString comment;
    QDateTime createdAt;
    std::optional<SecondRead> second; // a read at both wavelengths
    // The corrector's signature; none on reads, on versions the program made and on corrections
    // made before corrections were signed.
    std::optional<Signature> signature = std::nullopt;

    QString canonical() const;
};

// Computes the record's response, dose, uncertainty and flags from what it holds. A flag that
// only a later event sets (reader_check_failed_after) is kept.
void evaluateRecord(Record& record, const Fit& fit, const Job& job, const Calibration& calibration);

// What a read computes its dose from: the readings' mean (kept as the record's absorbance) and
// their spread, the film and the background.
DoseInput doseInputOf(Record& record, const Calibration& calibration);

// The flags of a record whose result is set; fit gives the range a dose outside it is judged by.
void flagRecord(Record& record, const Fit& fit, const Job& job, const Calibration& calibration);

inline const QString kCheckFailedAfter = QStringLiteral("reader_check_failed_after");

// Whether the stored record holds a valid dose, and if not why not.
Validity recordValidity(const Record& record);

// Whether the read enters its dosimeter's mean and decision: a valid dose, read within the
// window, with no failed reader check after it.
bool countsInMean(const Record& record);

// The record's flags as the job's decision rule gives them now: the decision flags of a valid
// dose recomputed from its dose and U, none for a dose judged outside the range by the rule of
// earlier versions, the others as recorded.
QStringList currentFlags(const Record& record, const Job& job);

// The budget object of a record made through a budget 2 fit (k, degrees of freedom, what is
// systematic), and back (false when it does not parse).
QString recordBudgetText(const Record& record);
bool parseRecordBudget(const QString& json, Record& record);

QString readingsText(const std::vector<Reading>& readings);
std::vector<Reading> parseReadings(const QString& json);

} // namespace qvr::dose
