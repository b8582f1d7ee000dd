// The tables of job reviews and reader checks (schema version 2), the reviews' signatures and
// the wrong passwords given to sign (version 10), the checks' signatures (version 11).

#include "dose/store/Tables.h"

#include "dose/core/Canonical.h"

#include <QVariant>

namespace qvr::dose {

const Table& reviewTable() {
    static const Table t{QStringLiteral("reviews"), QStringLiteral("review"), QStringLiteral("id"),
                         withSignature({{"id", ColumnType::Integer},
                                        {"job_id", ColumnType::Text},
                                        {"approved", ColumnType::Integer},
                                        {"reason", ColumnType::Text},
                                        {"chain_head", ColumnType::Text},
                                        {"reviewer", ColumnType::Text},
                                        {"created_at", ColumnType::Text}},
                                       10),
                         2,
                         "reviewer"};
    return t;
}

const Table& signingFailureTable() {
    static const Table t{QStringLiteral("signing_failures"),
                         QStringLiteral("signing_failure"),
                         QStringLiteral("id"),
                         {{"id", ColumnType::Integer},
                          {"account", ColumnType::Text},
                          {"act", ColumnType::Text},
                          {"created_at", ColumnType::Text}},
                         10,
                         "account"};
    return t;
}

const Table& checkTable() {
    static const Table t{QStringLiteral("reader_checks"), QStringLiteral("reader_check"),
                         QStringLiteral("id"),
                         withSignature({{"id", ColumnType::Integer},
                                        {"head", ColumnType::Text},
                                        {"wavelength_nm", ColumnType::Integer},
                                        {"certificate", ColumnType::Text},
                                        {"tolerance_percent", ColumnType::Real},
                                        {"filters", ColumnType::Text},
                                        {"passed", ColumnType::Integer},
                                        {"operator", ColumnType::Text},
                                        {"created_at", ColumnType::Text}},
                                       11),
                         2};
    return t;
}

QVariantMap rowOf(const Review& r) {
    QVariantMap row{{"id", r.id},
                    {"job_id", r.jobId},
                    {"approved", r.approved ? 1 : 0},
                    {"reason", r.reason},
                    {"chain_head", r.chainHead},
                    {"reviewer", r.reviewer},
                    {"created_at", timeText(r.createdAt)}};
    insertSignature(row, r.signature);
    return row;
}

QVariantMap rowOf(const SigningFailure& f) {
    return {{"id", f.id},
            {"account", f.account},
            {"act", f.act},
            {"created_at", timeText(f.createdAt)}};
}

SigningFailure signingFailureOf(const RowValues& row) {
    auto v = [&](const char* name) { return field(signingFailureTable(), row, name); };
    SigningFailure f;
    f.id = v("id").toLongLong();
    f.account = v("account").toString();
    f.act = v("act").toString();
    f.createdAt = parseTime(v("created_at").toString());
    return f;
}

QVariantMap rowOf(const ReaderCheck& c) {
    QVariantMap row{{"id", c.id},
                    {"head", c.headSerial},
                    {"wavelength_nm", c.wavelengthNm},
                    {"certificate", c.certificate},
                    {"tolerance_percent", c.tolerancePercent},
                    {"filters", filterResultsText(c.filters)},
                    {"passed", c.passed ? 1 : 0},
                    {"operator", c.operatorName},
                    {"created_at", timeText(c.createdAt)}};
    insertSignature(row, c.signature);
    return row;
}

Review reviewOf(const RowValues& row) {
    auto v = [&](const char* name) { return field(reviewTable(), row, name); };
    Review r;
    r.id = v("id").toLongLong();
    r.jobId = v("job_id").toString();
    r.approved = v("approved").toLongLong() != 0;
    r.reason = v("reason").toString();
    r.chainHead = v("chain_head").toString();
    r.reviewer = v("reviewer").toString();
    r.createdAt = parseTime(v("created_at").toString());
    r.signature = signatureOf(reviewTable(), row, r.reviewer);
    return r;
}

ReaderCheck checkOf(const RowValues& row) {
    auto v = [&](const char* name) { return field(checkTable(), row, name); };
    ReaderCheck c;
    c.id = v("id").toLongLong();
    c.headSerial = v("head").toString();
    c.wavelengthNm = v("wavelength_nm").toInt();
    c.certificate = v("certificate").toString();
    c.tolerancePercent = v("tolerance_percent").toDouble();
    c.filters = parseFilterResults(v("filters").toString());
    c.passed = v("passed").toLongLong() != 0;
    c.operatorName = v("operator").toString();
    c.createdAt = parseTime(v("created_at").toString());
    c.signature = signatureOf(checkTable(), row, c.operatorName);
    return c;
}

} // namespace qvr::dose
