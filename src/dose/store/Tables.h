#pragma once
// How each kind of stored row maps to its table's columns, shared by the writes, the reads and
// the check that every row's columns still say what its canonical text says.

#include "dose/core/Batch.h"
#include "dose/core/Calibration.h"
#include "dose/core/Fit.h"
#include "dose/core/Job.h"
#include "dose/core/LabSettings.h"
#include "dose/core/MappingStudy.h"
#include "dose/core/Outcome.h"
#include "dose/core/ReaderCheck.h"
#include "dose/core/Record.h"
#include "dose/core/Review.h"
#include "dose/core/Roles.h"
#include "dose/core/SigningLock.h"
#include "dose/store/Dialect.h"

#include <QVariantMap>
#include <algorithm>
#include <vector>

namespace qvr::dose {

struct Column {
    const char* name;
    ColumnType type;
    int since = 1; // the schema version that added it: NULL in the rows written before
};

struct Table {
    QString name;                // "batches"
    QString kind;                // the ledger's kind: "batch"
    QString order;               // ORDER BY of a full read
    std::vector<Column> columns; // without seq, which every table has
    int since = 1;               // the schema version that added it
    // The column naming the person a row is attributed to: where the server keeps the chain,
    // only that person's own database login may append it.
    const char* person = "operator";
};

// Whether a database at schema version has the column.
inline bool present(const Table& table, const Column& column, int version) {
    return std::max(table.since, column.since) <= version;
}

const Table& batchTable();
const Table& calibrationTable();
const Table& fitTable();
const Table& jobTable();
const Table& recordTable();
const Table& reviewTable();         // schema version 2
const Table& checkTable();          // schema version 2
const Table& labSettingTable();     // schema version 3
const Table& amendmentTable();      // schema version 5
const Table& signingFailureTable(); // schema version 10
const Table& roleChangeTable();     // schema version 11
// Schema version 6 (MappingTables.cpp).
const Table& mappingStudyTable();
const Table& mappingPositionTable();
const Table& mappingRunTable();
const Table& mappingDoseTable();
const Table& mappingApprovalTable();
const std::vector<const Table*>& allTables();

// A stored row as read: seq first, then the table's columns in their order.
using RowValues = QVariantList;

QVariantMap rowOf(const Batch& batch);
QVariantMap rowOf(const Calibration& calibration);
QVariantMap rowOf(const Fit& fit);
QVariantMap rowOf(const Job& job);
QVariantMap rowOf(const Record& record);
QVariantMap rowOf(const Review& review);
QVariantMap rowOf(const SigningFailure& failure);
QVariantMap rowOf(const ReaderCheck& check);
QVariantMap rowOf(const LabSetting& setting);
QVariantMap rowOf(const Amendment& amendment);
QVariantMap rowOf(const MappingStudy& study);
QVariantMap rowOf(const MappingPosition& position);
QVariantMap rowOf(const MappingRun& run);
QVariantMap rowOf(const PositionDose& dose);
QVariantMap rowOf(const MappingApproval& approval);
QVariantMap rowOf(const RoleChange& change);

Batch batchOf(const RowValues& row);
Calibration calibrationOf(const RowValues& row);
Fit fitOf(const RowValues& row);
// A fit to compute doses with: one whose model this program does not know (a row of a later
// version) or whose coefficients do not match its model (a damaged row) is refused, never read
// as another model or past the end of its numbers.
Outcome<Fit> usableFitOf(const RowValues& row);
Job jobOf(const RowValues& row);
Record recordOf(const RowValues& row);
Review reviewOf(const RowValues& row);
SigningFailure signingFailureOf(const RowValues& row);
ReaderCheck checkOf(const RowValues& row);
LabSetting labSettingOf(const RowValues& row);
Amendment amendmentOf(const RowValues& row);
MappingStudy mappingStudyOf(const RowValues& row);
MappingPosition mappingPositionOf(const RowValues& row);
MappingRun mappingRunOf(const RowValues& row);
PositionDose positionDoseOf(const RowValues& row);
MappingApproval mappingApprovalOf(const RowValues& row);
RoleChange roleChangeOf(const RowValues& row);

// The value of column name of table in row; null when the row predates the column.
QVariant field(const Table& table, const RowValues& row, const char* name);

// Columns followed by the signature's (signer_name, signed_at, utc_offset_s, meaning), which
// schema version since added.
std::vector<Column> withSignature(std::vector<Column> columns, int since);
void insertSignature(QVariantMap& row, const std::optional<Signature>& signature);
// The signature a row of table keeps, made by account; none when it was not signed.
std::optional<Signature> signatureOf(const Table& table, const RowValues& row,
                                     const QString& account);

// The canonical text a row of table renders to, and the ledger ref naming it ("record 3 v2").
QString canonicalOf(const Table& table, const RowValues& row);
QString refOf(const Table& table, const RowValues& row);

} // namespace qvr::dose
