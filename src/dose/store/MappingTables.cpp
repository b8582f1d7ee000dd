// The tables of the dose-mapping studies: studies, positions, runs, their doses and approvals.

#include "dose/core/Canonical.h"
#include "dose/store/Tables.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>

namespace qvr::dose {

namespace {

constexpr ColumnType T = ColumnType::Text;
constexpr ColumnType I = ColumnType::Integer;
constexpr ColumnType R = ColumnType::Real;
constexpr int kSince = 6;
constexpr int kReadsSince = 9; // doses read through the reader
constexpr int kSignedSince = 11;

QVariant optional(const std::optional<double>& v) {
    return v ? QVariant(*v) : QVariant();
}

std::optional<double> optionalOf(const QVariant& v) {
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    return v.toDouble();
}

} // namespace

const Table& mappingStudyTable() {
    static const Table t{QStringLiteral("mapping_studies"),
                         QStringLiteral("mapping_study"),
                         QStringLiteral("id"),
                         {{"id", T},
                          {"product", T},
                          {"loading_pattern", T},
                          {"irradiator", T},
                          {"source_path", T},
                          {"process", T},
                          {"process_value", R},
                          {"process_unit", T},
                          {"min_required_kgy", R},
                          {"max_acceptable_kgy", R},
                          {"required_runs", I},
                          {"training", I},
                          {"operator", T},
                          {"created_at", T}},
                         kSince};
    return t;
}

const Table& mappingPositionTable() {
    static const Table t{QStringLiteral("mapping_positions"),
                         QStringLiteral("mapping_position"),
                         QStringLiteral("id"),
                         {{"id", I},
                          {"study_id", T},
                          {"position", T},
                          {"layer", T},
                          {"x_mm", R},
                          {"y_mm", R},
                          {"z_mm", R},
                          {"monitoring", I},
                          {"operator", T},
                          {"created_at", T}},
                         kSince};
    return t;
}

const Table& mappingRunTable() {
    static const Table t{QStringLiteral("mapping_runs"),
                         QStringLiteral("mapping_run"),
                         QStringLiteral("created_at, id"),
                         {{"id", T}, {"study_id", T}, {"operator", T}, {"created_at", T}},
                         kSince};
    return t;
}

const Table& mappingDoseTable() {
    static const Table t{QStringLiteral("mapping_doses"),
                         QStringLiteral("mapping_dose"),
                         QStringLiteral("id"),
                         {{"id", I},
                          {"run_id", T},
                          {"position", T},
                          {"dosimeter", T},
                          {"state", T},
                          {"dose_kgy", R},
                          {"u_kgy", R},
                          {"k", R},
                          {"systematic", R},
                          {"random", R},
                          {"imported", I},
                          {"source", T},
                          {"operator", T},
                          {"created_at", T},
                          {"calibration_id", I, kReadsSince},
                          {"calibration_version", I, kReadsSince},
                          {"fit_id", I, kReadsSince},
                          {"batch_version", I, kReadsSince},
                          {"readings", T, kReadsSince},
                          {"flags", T, kReadsSince}},
                         kSince};
    return t;
}

const Table& mappingApprovalTable() {
    static const Table t{QStringLiteral("mapping_approvals"), QStringLiteral("mapping_approval"),
                         QStringLiteral("id"),
                         withSignature({{"id", I},
                                        {"study_id", T},
                                        {"approved", I},
                                        {"reason", T},
                                        {"chain_head", T},
                                        {"approver", T},
                                        {"created_at", T}},
                                       kSignedSince),
                         kSince,
                         "approver"};
    return t;
}

QVariantMap rowOf(const MappingStudy& s) {
    return {{"id", s.id},
            {"product", s.product},
            {"loading_pattern", s.loadingPattern},
            {"irradiator", s.irradiator},
            {"source_path", s.sourcePath},
            {"process", s.processText},
            {"process_value", s.processValue},
            {"process_unit", s.processUnit},
            {"min_required_kgy", s.minRequiredKGy},
            {"max_acceptable_kgy", s.maxAcceptableKGy},
            {"required_runs", s.requiredRuns},
            {"training", s.training ? 1 : 0},
            {"operator", s.operatorName},
            {"created_at", timeText(s.createdAt)}};
}

QVariantMap rowOf(const MappingPosition& p) {
    return {{"id", p.rowId},
            {"study_id", p.studyId},
            {"position", p.id},
            {"layer", p.layer},
            {"x_mm", optional(p.xMm)},
            {"y_mm", optional(p.yMm)},
            {"z_mm", optional(p.zMm)},
            {"monitoring", p.monitoring ? 1 : 0},
            {"operator", p.operatorName},
            {"created_at", timeText(p.createdAt)}};
}

QVariantMap rowOf(const MappingRun& r) {
    return {{"id", r.id},
            {"study_id", r.studyId},
            {"operator", r.operatorName},
            {"created_at", timeText(r.createdAt)}};
}

QVariantMap rowOf(const PositionDose& d) {
    const bool valid = d.state == PositionState::Valid;
    const bool value = d.state != PositionState::NoDose;
    QVariantMap row{{"id", d.id},
                    {"run_id", d.runId},
                    {"position", d.position},
                    {"dosimeter", d.dosimeter},
                    {"state", positionStateName(d.state)},
                    {"dose_kgy", value ? QVariant(d.doseKGy) : QVariant()},
                    {"u_kgy", valid ? QVariant(d.expanded) : QVariant()},
                    {"k", valid ? QVariant(d.coverage) : QVariant()},
                    {"systematic", valid ? QVariant(d.systematicRel) : QVariant()},
                    {"random", valid ? QVariant(d.randomRel) : QVariant()},
                    {"imported", d.imported ? 1 : 0},
                    {"source", d.source},
                    {"operator", d.operatorName},
                    {"created_at", timeText(d.createdAt)}};
    if (d.read())
        row.insert({{"calibration_id", d.calibrationId},
                    {"calibration_version", d.calibrationVersion},
                    {"fit_id", d.fitId},
                    {"batch_version", d.batchVersion},
                    {"readings", readingsText(d.readings)},
                    {"flags", textArray(d.flags)}});
    return row;
}

QVariantMap rowOf(const MappingApproval& a) {
    QVariantMap row{{"id", a.id},
                    {"study_id", a.studyId},
                    {"approved", a.approved ? 1 : 0},
                    {"reason", a.reason},
                    {"chain_head", a.chainHead},
                    {"approver", a.approver},
                    {"created_at", timeText(a.createdAt)}};
    insertSignature(row, a.signature);
    return row;
}

MappingStudy mappingStudyOf(const RowValues& row) {
    auto v = [&](const char* name) { return field(mappingStudyTable(), row, name); };
    MappingStudy s;
    s.id = v("id").toString();
    s.product = v("product").toString();
    s.loadingPattern = v("loading_pattern").toString();
    s.irradiator = v("irradiator").toString();
    s.sourcePath = v("source_path").toString();
    s.processText = v("process").toString();
    s.processValue = v("process_value").toDouble();
    s.processUnit = v("process_unit").toString();
    s.minRequiredKGy = v("min_required_kgy").toDouble();
    s.maxAcceptableKGy = v("max_acceptable_kgy").toDouble();
    s.requiredRuns = v("required_runs").toInt();
    s.training = v("training").toLongLong() != 0;
    s.operatorName = v("operator").toString();
    s.createdAt = parseTime(v("created_at").toString());
    return s;
}

MappingPosition mappingPositionOf(const RowValues& row) {
    auto v = [&](const char* name) { return field(mappingPositionTable(), row, name); };
    MappingPosition p;
    p.rowId = v("id").toLongLong();
    p.studyId = v("study_id").toString();
    p.id = v("position").toString();
    p.layer = v("layer").toString();
    p.xMm = optionalOf(v("x_mm"));
    p.yMm = optionalOf(v("y_mm"));
    p.zMm = optionalOf(v("z_mm"));
    p.monitoring = v("monitoring").toLongLong() != 0;
    p.operatorName = v("operator").toString();
    p.createdAt = parseTime(v("created_at").toString());
    return p;
}

MappingRun mappingRunOf(const RowValues& row) {
    auto v = [&](const char* name) { return field(mappingRunTable(), row, name); };
    MappingRun r;
    r.id = v("id").toString();
    r.studyId = v("study_id").toString();
    r.operatorName = v("operator").toString();
    r.createdAt = parseTime(v("created_at").toString());
    return r;
}

PositionDose positionDoseOf(const RowValues& row) {
    auto v = [&](const char* name) { return field(mappingDoseTable(), row, name); };
    PositionDose d;
    d.id = v("id").toLongLong();
    d.runId = v("run_id").toString();
    d.position = v("position").toString();
    d.dosimeter = v("dosimeter").toString();
    // An unknown state (a later program's) is no dose here.
    d.state = positionStateFromName(v("state").toString()).value_or(PositionState::NoDose);
    d.doseKGy = v("dose_kgy").toDouble();
    d.expanded = v("u_kgy").toDouble();
    d.coverage = v("k").toDouble();
    d.systematicRel = v("systematic").toDouble();
    d.randomRel = v("random").toDouble();
    d.imported = v("imported").toLongLong() != 0;
    d.source = v("source").toString();
    d.operatorName = v("operator").toString();
    d.createdAt = parseTime(v("created_at").toString());
    d.calibrationId = v("calibration_id").toLongLong(); // NULL: imported or stored before
    if (d.read()) {
        d.calibrationVersion = v("calibration_version").toInt();
        d.fitId = v("fit_id").toLongLong();
        d.batchVersion = v("batch_version").toInt();
        d.readings = parseReadings(v("readings").toString());
        for (const QJsonValue f : parseStoredJson(v("flags").toString()).array())
            d.flags << f.toString();
    }
    return d;
}

MappingApproval mappingApprovalOf(const RowValues& row) {
    auto v = [&](const char* name) { return field(mappingApprovalTable(), row, name); };
    MappingApproval a;
    a.id = v("id").toLongLong();
    a.studyId = v("study_id").toString();
    a.approved = v("approved").toLongLong() != 0;
    a.reason = v("reason").toString();
    a.chainHead = v("chain_head").toString();
    a.approver = v("approver").toString();
    a.createdAt = parseTime(v("created_at").toString());
    a.signature = signatureOf(mappingApprovalTable(), row, a.approver);
    return a;
}

} // namespace qvr::dose
