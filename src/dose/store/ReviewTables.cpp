// The tables of schema version 2: job reviews and reader checks.

#include "dose/store/Tables.h"

#include "dose/core/Canonical.h"

#include <QVariant>

namespace qvr::dose {

namespace {

QString field(const QSqlRecord& row, const char* name) {
    return row.value(QLatin1String(name)).toString();
}

} // namespace

const Table& reviewTable() {
    static const Table t{QStringLiteral("reviews"),
                         QStringLiteral("review"),
                         QStringLiteral("id"),
                         {{"id", ColumnType::Integer},
                          {"job_id", ColumnType::Text},
                          {"approved", ColumnType::Integer},
                          {"reason", ColumnType::Text},
                          {"chain_head", ColumnType::Text},
                          {"reviewer", ColumnType::Text},
                          {"created_at", ColumnType::Text}}};
    return t;
}

const Table& checkTable() {
    static const Table t{QStringLiteral("reader_checks"),
                         QStringLiteral("reader_check"),
                         QStringLiteral("id"),
                         {{"id", ColumnType::Integer},
                          {"head", ColumnType::Text},
                          {"wavelength_nm", ColumnType::Integer},
                          {"certificate", ColumnType::Text},
                          {"tolerance_percent", ColumnType::Real},
                          {"filters", ColumnType::Text},
                          {"passed", ColumnType::Integer},
                          {"operator", ColumnType::Text},
                          {"created_at", ColumnType::Text}}};
    return t;
}

QVariantMap rowOf(const Review& r) {
    return {{"id", r.id},
            {"job_id", r.jobId},
            {"approved", r.approved ? 1 : 0},
            {"reason", r.reason},
            {"chain_head", r.chainHead},
            {"reviewer", r.reviewer},
            {"created_at", timeText(r.createdAt)}};
}

QVariantMap rowOf(const ReaderCheck& c) {
    return {{"id", c.id},
            {"head", c.headSerial},
            {"wavelength_nm", c.wavelengthNm},
            {"certificate", c.certificate},
            {"tolerance_percent", c.tolerancePercent},
            {"filters", filterResultsText(c.filters)},
            {"passed", c.passed ? 1 : 0},
            {"operator", c.operatorName},
            {"created_at", timeText(c.createdAt)}};
}

Review reviewOf(const QSqlRecord& row) {
    Review r;
    r.id = row.value(QStringLiteral("id")).toLongLong();
    r.jobId = field(row, "job_id");
    r.approved = row.value(QStringLiteral("approved")).toLongLong() != 0;
    r.reason = field(row, "reason");
    r.chainHead = field(row, "chain_head");
    r.reviewer = field(row, "reviewer");
    r.createdAt = parseTime(field(row, "created_at"));
    return r;
}

ReaderCheck checkOf(const QSqlRecord& row) {
    ReaderCheck c;
    c.id = row.value(QStringLiteral("id")).toLongLong();
    c.headSerial = field(row, "head");
    c.wavelengthNm = row.value(QStringLiteral("wavelength_nm")).toInt();
    c.certificate = field(row, "certificate");
    c.tolerancePercent = row.value(QStringLiteral("tolerance_percent")).toDouble();
    c.filters = parseFilterResults(field(row, "filters"));
    c.passed = row.value(QStringLiteral("passed")).toLongLong() != 0;
    c.operatorName = field(row, "operator");
    c.createdAt = parseTime(field(row, "created_at"));
    return c;
}

} // namespace qvr::dose
