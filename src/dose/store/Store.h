#pragma once
// The dose workstation's records: batches, calibrations, fits, jobs and dosimeter records,
// append-only, on one hash chain.
//
// Every write appends one row to the ledger (seq, kind, ref, canonical text, prev_hash, hash =
// SHA-256 over prev_hash and the canonical text) and one row to the kind's own table, which
// refers to its ledger seq, inside one serialised transaction. The tables refuse UPDATE and
// DELETE by themselves; a correction is a new version. verify() walks the ledger, recomputes
// every hash, and checks that each domain row's columns still render to its canonical text.

#include "dose/core/Batch.h"
#include "dose/core/Calibration.h"
#include "dose/core/Clock.h"
#include "dose/core/Fit.h"
#include "dose/core/Job.h"
#include "dose/core/LabSettings.h"
#include "dose/core/MappingApproval.h"
#include "dose/core/Outcome.h"
#include "dose/core/ReaderCheck.h"
#include "dose/core/Record.h"
#include "dose/core/Review.h"
#include "dose/core/Roles.h"
#include "dose/core/SigningLock.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qvr::dose {

class Dialect;

// What a write leaves: the new row's ledger seq and hash (the chain's new head), and the id the
// store gave it (calibrations, fits, records) or 0.
struct Receipt {
    qint64 seq = 0;
    QString hash;
    qint64 id = 0;
};

struct ChainReport {
    bool whole = false;
    qint64 rows = 0;      // ledger rows checked
    QString headHash;     // hash of the newest row ("" when empty)
    qint64 brokenSeq = 0; // first ledger row found wrong, 0 when whole or not row-bound
    QString problem;      // one line naming the first broken row
};

// The schema versions of a database before and after it was opened or migrated.
struct SchemaChange {
    int from = 0; // 0: a new database
    int to = 0;
};

// What a copy moved: its ledger rows and the chain's head, the same on both databases.
struct CopyReport {
    qint64 rows = 0;
    QString headHash;
};

inline constexpr int kSchemaVersion = 12;
inline constexpr int kRolesSchemaVersion = 11; // the first that keeps roles
inline constexpr const char* kGenesisHash =
    "0000000000000000000000000000000000000000000000000000000000000000";

// Whether opening a location that holds no dose database yet creates one there (db init, the
// target of db copy, the default location) or refuses, saying how to create it.
enum class IfMissing { Create, Refuse };

class Store {
public:
    // Opens the database at location: a SQLite path or a PostgreSQL URL. Refuses a database
    // made by a newer program, and a location that looks like a mistyped URL. When this opening
    // creates the database or brings it to the schema version that keeps roles, account (when
    // given) becomes its first administrator, with every other role.
    static Outcome<std::unique_ptr<Store>> open(const QString& location, Now now = systemNow(),
                                                IfMissing missing = IfMissing::Create,
                                                const QString& account = QString());
    // Opens the database bringing its schema only up to version to (db migrate, and tests of the
    // older schemas), one migration per transaction; change tells from which version.
    static Outcome<std::unique_ptr<Store>> openAtVersion(const QString& location, int to,
                                                         SchemaChange* change = nullptr,
                                                         Now now = systemNow(),
                                                         IfMissing missing = IfMissing::Create,
                                                         const QString& account = QString());
    // $XDG_DATA_HOME/QVR100/dose.sqlite
    static QString defaultLocation();

    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Writes. Each fills createdAt from the store's clock; the caller sets the operator.
    Outcome<Receipt> addBatch(Batch batch);
    Outcome<Receipt> addCalibration(Calibration calibration); // gives the id
    // Calibrations made from the same films at different wavelengths, in one write: each after
    // the first names the first. The receipts in their order.
    Outcome<std::vector<Receipt>> addCalibrations(std::vector<Calibration> calibrations);
    Outcome<Receipt> addFit(Fit fit); // gives the id
    Outcome<Receipt> addJob(Job job);
    // A new record (version 1): the store gives its id and reread count, then complete() (run
    // inside the write, so rereads are counted without a race) computes what depends on them.
    Outcome<Receipt> addRecord(Record record, const std::function<void(Record&)>& complete = {});
    // Many new records in one write (one commit, one sync): a bulk load. The receipt is the
    // last record's.
    Outcome<Receipt> addRecords(std::vector<Record> records,
                                const std::function<void(Record&)>& complete = {});
    // A new version of record id: revise() gets the latest version and returns the new one.
    Outcome<Receipt> correctRecord(qint64 id,
                                   const std::function<Outcome<Record>(const Record&)>& revise);

    // A later certificate, validity or background as the next version of its calibration or
    // batch (StoreAmendments.cpp); the receipt's id is the version made. Reads give the latest
    // version with its amendments.
    Outcome<Receipt> amend(Amendment amendment);

    // Reads. A missing item fails with a message naming it.
    Outcome<Batch> batch(const QString& id);
    Outcome<std::vector<Batch>> batches();
    Outcome<Calibration> calibration(qint64 id);
    Outcome<std::vector<Calibration>> calibrations();
    // A fit stored before fits were judged comes judged by the lab's criteria now (see
    // Fit::judgedWhenFitted). latestFit fails when the calibration has no fit.
    Outcome<Fit> latestFit(qint64 calibrationId);
    Outcome<Fit> fit(qint64 id);
    Outcome<Job> job(const QString& id);
    Outcome<std::vector<Job>> jobs();
    Outcome<Record> record(qint64 id); // the latest version
    // Every version of every record of the job, by record id then version.
    Outcome<std::vector<Record>> records(const QString& jobId);

    // Job reviews and reader checks (StoreReviews.cpp). addReview refuses what reviewRefusal
    // refuses, checked inside the write.
    Outcome<Receipt> addReview(Review review); // gives the id
    Outcome<std::vector<Review>> reviews(const QString& jobId);
    // Why the review would be refused now, or nothing: asked before anyone signs it.
    Outcome<std::optional<QString>> reviewRefusalNow(const Review& review);
    // Wrong passwords given to sign (schema version 10), and the account's latest signature
    // (invalid when none), which ends a run of them.
    Outcome<Receipt> addSigningFailure(SigningFailure failure);
    Outcome<std::vector<SigningFailure>> signingFailures(const QString& account);
    Outcome<QDateTime> lastSignature(const QString& account);
    // Gives the id. A failed check adds, in the same write, a version flagged
    // reader_check_failed_after to every read of its head and wavelength made since the last
    // passing check before it.
    Outcome<Receipt> addCheck(ReaderCheck check);
    Outcome<std::vector<ReaderCheck>> checks();

    // Roles (StoreRoles.cpp): each change is checked against the changes before it inside the
    // write (roleChangeRefusal). roleChanges is empty before schema version 11.
    Outcome<Receipt> addRoleChange(RoleChange change); // gives the id
    Outcome<std::vector<RoleChange>> roleChanges();
    Outcome<RolesInForce> roles();

    // The lab-wide settings (StoreLab.cpp): several in one write, each a row of its own.
    Outcome<Receipt> addLabSettings(std::vector<LabSetting> settings);
    Outcome<std::vector<LabSetting>> labSettingRows();
    Outcome<LabSettings> labSettings();

    // Dose-mapping studies (StoreMapping.cpp). A study's positions are fixed once it has a run;
    // an approved study takes no more runs or doses. addMappingApproval refuses what
    // approvalRefusal refuses, checked inside the write.
    Outcome<Receipt> addMappingStudy(MappingStudy study);
    Outcome<Receipt> addMappingPosition(MappingPosition position); // gives the row id
    Outcome<Receipt> addMappingRun(MappingRun run);
    // Several doses in one write, each given its id; the latest of a run's position counts. A
    // dose read through the reader is refused where its run has a dose at its position.
    Outcome<Receipt> addMappingDoses(std::vector<PositionDose> doses);
    Outcome<Receipt> addMappingApproval(MappingApproval approval); // gives the id
    Outcome<std::vector<MappingStudy>> mappingStudies();
    // The study with its positions, runs (each with its latest doses), every dose and approval.
    Outcome<MappingStudyRecords> mappingStudy(const QString& id);
    Outcome<MappingStudyRecords> mappingStudyOfRun(const QString& runId);

    ChainReport verify(const QString& expectHash = QString());
    // Copies every ledger row and its domain row, in chain order and with their canonical texts
    // and hashes, into target, which must be empty; in one transaction on target, verified
    // there (same head) before it commits. Refuses a source whose chain is not whole.
    Outcome<CopyReport> copyInto(Store& target);
    Outcome<int> schemaVersion();
    Outcome<QString> headHash();
    // Changes when another connection (another desk, the command line) has written: poll it
    // to know when what is shown may be out of date.
    Outcome<QString> changeMark();

    const Dialect& dialect() const;
    Now clock() const { return now_; }

    struct Private; // the connection; opaque outside the store

private:
    Store(std::unique_ptr<Private> d, Now now);
    std::unique_ptr<Private> d_;
    Now now_;
};

} // namespace qvr::dose
