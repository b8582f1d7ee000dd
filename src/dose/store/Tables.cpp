#include "dose/store/Tables.h"

#include "dose/core/Canonical.h"
#include "dose/core/DualRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>
#include <cmath>
#include <cstring>
#include <limits>

namespace qvr::dose {

namespace {

constexpr ColumnType T = ColumnType::Text;
constexpr ColumnType I = ColumnType::Integer;
constexpr ColumnType R = ColumnType::Real;
constexpr int kSignedSince = 11; // accepted fits and corrections are signed

QVariant optional(const std::optional<double>& v) {
    return v ? QVariant(*v) : QVariant();
}
// A number that is not finite is stored as NULL, as its canonical text says null.
QVariant finite(double v) {
    return std::isfinite(v) ? QVariant(v) : QVariant();
}
QVariant timeValue(const QDateTime& t) {
    return t.isValid() ? QVariant(timeText(t)) : QVariant();
}
QVariant dateValue(const QDate& d) {
    return d.isValid() ? QVariant(dateText(d)) : QVariant();
}

// A row of one table read by column name: the columns come in the table's order after seq,
// and are mostly asked for in that order, so the search starts where the last one ended.
class Row {
public:
    Row(const RowValues& record, const Table& table) : record_(record), table_(table) {}
    const QVariant& operator()(const char* name) const {
        static const QVariant missing;
        const int n = static_cast<int>(table_.columns.size());
        for (int step = 0; step < n; ++step) {
            const int i = (hint_ + step) % n;
            if (std::strcmp(table_.columns[i].name, name) == 0) {
                hint_ = i + 1;
                return i + 1 < record_.size() ? record_.at(i + 1) : missing;
            }
        }
        return missing;
    }

private:
    const RowValues& record_;
    const Table& table_;
    mutable int hint_ = 0;
};

// Values come as the store reads them; the conversions are for anything else.
QString stringOf(const QVariant& v) {
    return v.typeId() == QMetaType::QString ? *static_cast<const QString*>(v.constData())
                                            : v.toString();
}
QString text(const Row& r, const char* name) {
    return stringOf(r(name));
}
// NULL is a number that was not finite when written (rows of earlier versions hold such): it
// reads back as one, so the row renders to the null its canonical text holds.
double real(const Row& r, const char* name) {
    // A NULL from Qt's driver may still carry the column's type: asked first.
    const QVariant& v = r(name);
    if (v.isNull())
        return std::numeric_limits<double>::quiet_NaN();
    return v.typeId() == QMetaType::Double ? *static_cast<const double*>(v.constData())
                                           : v.toDouble();
}
qint64 integer(const Row& r, const char* name) {
    const QVariant& v = r(name);
    return v.typeId() == QMetaType::LongLong ? *static_cast<const qint64*>(v.constData())
                                             : v.toLongLong();
}
std::optional<double> optionalReal(const Row& r, const char* name) {
    const QVariant v = r(name);
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}
QDateTime time(const Row& r, const char* name) {
    const QVariant& v = r(name);
    return v.isNull() ? QDateTime() : parseTime(stringOf(v));
}
QDate date(const Row& r, const char* name) {
    const QVariant v = r(name);
    return v.isNull() ? QDate() : QDate::fromString(v.toString(), Qt::ISODate);
}
QStringList texts(const QString& json) {
    // The form textArray() writes of plain words (flags), split by hand: it is read for every
    // record listed or exported. Anything else goes to the JSON parser.
    QStringList out;
    const QStringView all(json);
    if (all == QLatin1String("[]"))
        return out;
    if (all.startsWith(QLatin1String("[\"")) && all.endsWith(QLatin1String("\"]")) &&
        !all.contains(QLatin1Char('\\'))) {
        for (const QStringView item : all.mid(2, all.size() - 4).split(u"\",\""))
            out << item.toString();
        return out; // without a backslash no item can hold a quote: the split is exact
    }
    for (const auto& v : parseStoredJson(json).array())
        out << v.toString();
    return out;
}

} // namespace

const Table& batchTable() {
    static const Table t{QStringLiteral("batches"),
                         QStringLiteral("batch"),
                         QStringLiteral("id"),
                         {{"id", T},
                          {"description", T},
                          {"thickness_um", R},
                          {"u_thickness_um", R},
                          {"background", T},
                          {"expires", T},
                          {"operator", T},
                          {"created_at", T},
                          {"u_background", T, 5}}};
    return t;
}

const Table& calibrationTable() {
    static const Table t{QStringLiteral("calibrations"),
                         QStringLiteral("calibration"),
                         QStringLiteral("id"),
                         {{"id", I},
                          {"batch_id", T},
                          {"head", T},
                          {"wavelength_nm", I},
                          {"a0", R},
                          {"certificate", T},
                          {"valid_until", T},
                          {"window_min_h", R},
                          {"window_max_h", R},
                          {"points", T},
                          {"operator", T},
                          {"created_at", T},
                          {"same_films_as", I, 7}}};
    return t;
}

const Table& fitTable() {
    static const Table t{QStringLiteral("fits"), QStringLiteral("fit"), QStringLiteral("id"),
                         withSignature({{"id", I},
                                        {"calibration_id", I},
                                        {"model", T},
                                        {"weighted", I},
                                        {"coefficients", T},
                                        {"std_errors", T},
                                        {"covariance", T},
                                        {"residuals_percent", T},
                                        {"rms_percent", R},
                                        {"r2", R},
                                        {"level_doses", T},
                                        {"level_cv_percent", T},
                                        {"dose_lo", R},
                                        {"dose_hi", R},
                                        {"response_lo", R},
                                        {"response_hi", R},
                                        {"reference_percent", R},
                                        {"reproducibility_percent", R},
                                        {"choice", T},
                                        {"operator", T},
                                        {"created_at", T},
                                        {"excluded", T, 3},
                                        {"exclusion_reason", T, 3},
                                        {"level_responses", T, 3},
                                        {"accepted", I, 3},
                                        {"rejections", T, 3},
                                        {"outliers", T, 3},
                                        {"investigate", T, 3},
                                        {"lack_of_fit_f", R, 3},
                                        {"lack_of_fit_p", R, 3},
                                        {"lack_of_fit_dof", T, 3},
                                        {"pure_error_percent", R, 3},
                                        {"criteria", T, 3},
                                        {"budget", T, 4}},
                                       kSignedSince)};
    return t;
}

const Table& jobTable() {
    static const Table t{QStringLiteral("jobs"),
                         QStringLiteral("job"),
                         QStringLiteral("id"),
                         {{"id", T},
                          {"product", T},
                          {"dmin_kgy", R},
                          {"dmax_kgy", R},
                          {"training", I},
                          {"operator", T},
                          {"created_at", T},
                          {"decision_rule", T, 3},
                          {"wavelengths", T, 8},
                          {"study_id", T, 9},
                          {"monitoring_position", T, 9},
                          {"process_value", R, 9},
                          {"process_unit", T, 9}}};
    return t;
}

const Table& recordTable() {
    static const Table t{QStringLiteral("records"), QStringLiteral("record"),
                         QStringLiteral("id, version"),
                         withSignature({{"id", I},
                                        {"version", I},
                                        {"reason", T},
                                        {"job_id", T},
                                        {"dosimeter", T},
                                        {"irradiated_at", T},
                                        {"calibration_id", I},
                                        {"fit_id", I},
                                        {"batch_id", T},
                                        {"wavelength_nm", I},
                                        {"head", T},
                                        {"simulated", I},
                                        {"read_at", T},
                                        {"readings", T},
                                        {"zero", T},
                                        {"absorbance", R},
                                        {"a0", R},
                                        {"thickness_um", R},
                                        {"u_thickness_um", R},
                                        {"thickness_measured", I},
                                        {"response", R},
                                        {"dose_kgy", R},
                                        {"u_kgy", R},
                                        {"u_fit_percent", R},
                                        {"u_reference_percent", R},
                                        {"u_reproducibility_percent", R},
                                        {"u_thickness_percent", R},
                                        {"u_reading_percent", R},
                                        {"in_range", I},
                                        {"reread", I},
                                        {"flags", T},
                                        {"operator", T},
                                        {"comment", T},
                                        {"created_at", T},
                                        {"budget", T, 4},
                                        {"calibration_version", I, 5},
                                        {"batch_version", I, 5},
                                        {"dual", T, 8}},
                                       kSignedSince)};
    return t;
}

const std::vector<const Table*>& allTables() {
    static const std::vector<const Table*> all{
        &batchTable(),        &calibrationTable(),     &fitTable(),
        &jobTable(),          &recordTable(),          &reviewTable(),
        &checkTable(),        &labSettingTable(),      &amendmentTable(),
        &mappingStudyTable(), &mappingPositionTable(), &mappingRunTable(),
        &mappingDoseTable(),  &mappingApprovalTable(), &signingFailureTable(),
        &roleChangeTable()};
    return all;
}

QVariantMap rowOf(const Batch& b) {
    QVariantMap row{{"id", b.id},
                    {"description", b.description},
                    {"thickness_um", b.thicknessUm},
                    {"u_thickness_um", b.uThicknessUm},
                    {"background", backgroundText(b.background)},
                    {"expires", dateValue(b.expires)},
                    {"operator", b.operatorName},
                    {"created_at", timeValue(b.createdAt)}};
    if (!b.uBackground.empty())
        row.insert("u_background", backgroundText(b.uBackground));
    return row;
}

QVariantMap rowOf(const Calibration& c) {
    return {{"id", c.id},
            {"batch_id", c.batchId},
            {"head", c.headSerial},
            {"wavelength_nm", c.wavelengthNm},
            {"a0", c.a0},
            {"certificate", c.certificate},
            {"valid_until", dateValue(c.validUntil)},
            {"window_min_h", optional(c.windowMinHours)},
            {"window_max_h", optional(c.windowMaxHours)},
            {"points", pointsText(c.points)},
            {"operator", c.operatorName},
            {"created_at", timeValue(c.createdAt)},
            {"same_films_as", c.sameFilmsAs != 0 ? QVariant(c.sameFilmsAs) : QVariant()}};
}

QVariantMap rowOf(const Fit& f) {
    QVariantMap row{{"id", f.id},
                    {"calibration_id", f.calibrationId},
                    {"model", modelName(f.model)},
                    {"weighted", f.weighted ? 1 : 0},
                    {"coefficients", numberArray(f.coefficients)},
                    {"std_errors", numberArray(f.stdErrors)},
                    {"covariance", numberArray(f.covariance)},
                    {"residuals_percent", numberArray(f.residualsPercent)},
                    {"rms_percent", finite(f.rmsPercent)},
                    {"r2", finite(f.r2)},
                    {"level_doses", numberArray(f.levelDoses)},
                    {"level_cv_percent", numberArray(f.levelCvPercent)},
                    {"dose_lo", finite(f.doseLo)},
                    {"dose_hi", finite(f.doseHi)},
                    {"response_lo", finite(f.responseLo)},
                    {"response_hi", finite(f.responseHi)},
                    {"reference_percent", finite(f.referencePercent)},
                    {"reproducibility_percent", finite(f.reproducibilityPercent)},
                    {"choice", f.choice},
                    {"operator", f.operatorName},
                    {"created_at", timeValue(f.createdAt)}};
    if (!f.judgedWhenFitted)
        return row;
    const Acceptance& a = f.acceptance;
    row.insert({{"excluded", textArray(f.excluded)},
                {"exclusion_reason", f.exclusionReason},
                {"level_responses", numberArray(f.levelResponses)},
                {"accepted", a.accepted ? 1 : 0},
                {"rejections", textArray(a.rejections)},
                {"outliers", textArray(a.outliers)},
                {"investigate", textArray(a.investigate)},
                {"lack_of_fit_f", optional(a.lackOfFitF)},
                {"lack_of_fit_p", optional(a.lackOfFitP)},
                {"lack_of_fit_dof", dofText(a)},
                {"pure_error_percent", finite(a.pureErrorPercent)},
                {"criteria", criteriaText(a.criteria)}});
    if (f.budget >= 2)
        row.insert("budget", budgetText(f));
    insertSignature(row, f.signature);
    return row;
}

QVariantMap rowOf(const Job& j) {
    QVariantMap row{{"id", j.id},
                    {"product", j.product},
                    {"dmin_kgy", optional(j.dminKGy)},
                    {"dmax_kgy", optional(j.dmaxKGy)},
                    {"training", j.training ? 1 : 0},
                    {"operator", j.operatorName},
                    {"created_at", timeValue(j.createdAt)},
                    {"decision_rule", j.ruleStored ? QVariant(ruleName(j.rule)) : QVariant()},
                    {"wavelengths", wavelengthsName(j.bothWavelengths)}};
    if (j.routine())
        row.insert({{"study_id", j.studyId},
                    {"monitoring_position", j.monitoringPosition},
                    {"process_value", finite(j.processValue)},
                    {"process_unit", j.processUnit}});
    return row;
}

QVariantMap rowOf(const Record& r) {
    const Components& c = r.result.components;
    QVariantMap row{{"id", r.id},
                    {"version", r.version},
                    {"reason", r.reason},
                    {"job_id", r.jobId},
                    {"dosimeter", r.dosimeter},
                    {"irradiated_at", timeValue(r.irradiatedAt)},
                    {"calibration_id", r.calibrationId},
                    {"fit_id", r.fitId},
                    {"batch_id", r.batchId},
                    {"wavelength_nm", r.wavelengthNm},
                    {"head", r.headSerial},
                    {"simulated", r.simulated ? 1 : 0},
                    {"read_at", timeValue(r.readAt)},
                    {"readings", readingsText(r.readings)},
                    {"zero", r.zeroText},
                    {"absorbance", finite(r.absorbance)},
                    {"a0", r.a0},
                    {"thickness_um", r.thicknessUm},
                    {"u_thickness_um", r.uThicknessUm},
                    {"thickness_measured", r.thicknessMeasured ? 1 : 0},
                    {"response", finite(r.result.response)},
                    {"dose_kgy", finite(r.result.dose)},
                    {"u_kgy", finite(r.result.expanded)},
                    {"u_fit_percent", finite(c.fit)},
                    {"u_reference_percent", finite(c.reference)},
                    {"u_reproducibility_percent", finite(c.reproducibility)},
                    {"u_thickness_percent", finite(c.thickness)},
                    {"u_reading_percent", finite(c.reading)},
                    {"in_range", r.result.inRange ? 1 : 0},
                    {"reread", r.reread},
                    {"flags", textArray(r.flags)},
                    {"operator", r.operatorName},
                    {"comment", r.comment},
                    {"created_at", timeValue(r.createdAt)}};
    if (r.result.budget >= 2)
        row.insert("budget", recordBudgetText(r));
    if (r.calibrationVersion > 0)
        row.insert("calibration_version", r.calibrationVersion);
    if (r.batchVersion > 0)
        row.insert("batch_version", r.batchVersion);
    if (r.second)
        row.insert("dual", dualText(*r.second));
    insertSignature(row, r.signature);
    return row;
}

Batch batchOf(const RowValues& record) {
    const Row row(record, batchTable());
    Batch b;
    b.id = text(row, "id");
    b.description = text(row, "description");
    b.thicknessUm = real(row, "thickness_um");
    b.uThicknessUm = real(row, "u_thickness_um");
    b.background = parseBackground(text(row, "background"));
    b.expires = date(row, "expires");
    b.operatorName = text(row, "operator");
    b.createdAt = time(row, "created_at");
    b.uBackground = parseBackground(text(row, "u_background"));
    return b;
}

Calibration calibrationOf(const RowValues& record) {
    const Row row(record, calibrationTable());
    Calibration c;
    c.id = integer(row, "id");
    c.batchId = text(row, "batch_id");
    c.headSerial = text(row, "head");
    c.wavelengthNm = static_cast<int>(integer(row, "wavelength_nm"));
    c.a0 = real(row, "a0");
    c.certificate = text(row, "certificate");
    c.validUntil = date(row, "valid_until");
    c.windowMinHours = optionalReal(row, "window_min_h");
    c.windowMaxHours = optionalReal(row, "window_max_h");
    c.points = parsePoints(text(row, "points"));
    c.operatorName = text(row, "operator");
    c.createdAt = time(row, "created_at");
    c.sameFilmsAs = integer(row, "same_films_as"); // NULL: none
    return c;
}

Fit fitOf(const RowValues& record) {
    const Row row(record, fitTable());
    Fit f;
    f.budget = 1; // unless its budget says otherwise
    f.id = integer(row, "id");
    f.calibrationId = integer(row, "calibration_id");
    f.model = modelFromName(text(row, "model")).value_or(Model::Poly1);
    f.weighted = integer(row, "weighted") != 0;
    f.coefficients = parseNumberArray(text(row, "coefficients"));
    f.stdErrors = parseNumberArray(text(row, "std_errors"));
    f.covariance = parseNumberArray(text(row, "covariance"));
    f.residualsPercent = parseNumberArray(text(row, "residuals_percent"));
    f.rmsPercent = real(row, "rms_percent");
    f.r2 = real(row, "r2");
    f.levelDoses = parseNumberArray(text(row, "level_doses"));
    f.levelCvPercent = parseNumberArray(text(row, "level_cv_percent"));
    f.doseLo = real(row, "dose_lo");
    f.doseHi = real(row, "dose_hi");
    f.responseLo = real(row, "response_lo");
    f.responseHi = real(row, "response_hi");
    f.referencePercent = real(row, "reference_percent");
    f.reproducibilityPercent = real(row, "reproducibility_percent");
    f.choice = text(row, "choice");
    f.operatorName = text(row, "operator");
    f.createdAt = time(row, "created_at");
    f.judgedWhenFitted = !row("accepted").isNull();
    if (!f.judgedWhenFitted)
        return f;
    f.excluded = texts(text(row, "excluded"));
    f.exclusionReason = text(row, "exclusion_reason");
    f.levelResponses = parseNumberArray(text(row, "level_responses"));
    Acceptance& a = f.acceptance;
    a.accepted = integer(row, "accepted") != 0;
    a.rejections = texts(text(row, "rejections"));
    a.outliers = texts(text(row, "outliers"));
    a.investigate = texts(text(row, "investigate"));
    a.lackOfFitF = optionalReal(row, "lack_of_fit_f");
    a.lackOfFitP = optionalReal(row, "lack_of_fit_p");
    const std::vector<double> dof = parseNumberArray(text(row, "lack_of_fit_dof"));
    a.lackOfFitDof = dof.size() == 2 ? static_cast<int>(dof[0]) : 0;
    a.pureErrorDof = dof.size() == 2 ? static_cast<int>(dof[1]) : 0;
    a.pureErrorPercent = real(row, "pure_error_percent");
    // Criteria that do not parse read as impossible ones, so such a fit never passes for judged.
    a.criteria = parseCriteria(text(row, "criteria")).value_or(AcceptanceCriteria{0, 0, 0});
    // A fit made before the budget by dose, or whose budget does not parse, is a budget 1 fit.
    if (const QVariant& budget = row("budget"); !budget.isNull())
        parseBudget(stringOf(budget), f);
    f.signature = signatureOf(fitTable(), record, f.operatorName);
    return f;
}

Outcome<Fit> usableFitOf(const RowValues& record) {
    const QString model = text(Row(record, fitTable()), "model");
    Fit f = fitOf(record);
    if (!modelFromName(model))
        return Failure{
            QStringLiteral("fit %1 has the model \"%2\", which this qvr100dose does not know")
                .arg(f.id)
                .arg(model)};
    const size_t n = static_cast<size_t>(parameterCount(f.model));
    if (f.coefficients.size() != n || f.covariance.size() != n * n)
        return Failure{
            QStringLiteral("fit %1 is damaged: its coefficients do not match its model %2")
                .arg(f.id)
                .arg(model)};
    return f;
}

Job jobOf(const RowValues& record) {
    const Row row(record, jobTable());
    Job j;
    j.id = text(row, "id");
    j.product = text(row, "product");
    j.dminKGy = optionalReal(row, "dmin_kgy");
    j.dmaxKGy = optionalReal(row, "dmax_kgy");
    j.training = integer(row, "training") != 0;
    j.operatorName = text(row, "operator");
    j.createdAt = time(row, "created_at");
    const QVariant rule = row("decision_rule");
    j.ruleStored = !rule.isNull();
    // A rule this program does not know is read as the guarded one, the stricter.
    j.rule = j.ruleStored ? ruleFromName(rule.toString()).value_or(DecisionRule::Guarded)
                          : DecisionRule::Guarded;
    // A name this program does not know is read as both: the stricter read.
    const QVariant wavelengths = row("wavelengths");
    j.bothWavelengths =
        !wavelengths.isNull() && wavelengthsFromName(stringOf(wavelengths)).value_or(true);
    j.studyId = text(row, "study_id"); // NULL: not routine, or stored before routine jobs
    if (j.routine()) {
        j.monitoringPosition = text(row, "monitoring_position");
        j.processValue = real(row, "process_value");
        j.processUnit = text(row, "process_unit");
    }
    return j;
}

Record recordOf(const RowValues& record) {
    const Row row(record, recordTable());
    Record r;
    r.id = integer(row, "id");
    r.version = static_cast<int>(integer(row, "version"));
    r.reason = text(row, "reason");
    r.jobId = text(row, "job_id");
    r.dosimeter = text(row, "dosimeter");
    r.irradiatedAt = time(row, "irradiated_at");
    r.calibrationId = integer(row, "calibration_id");
    r.fitId = integer(row, "fit_id");
    r.batchId = text(row, "batch_id");
    r.wavelengthNm = static_cast<int>(integer(row, "wavelength_nm"));
    r.headSerial = text(row, "head");
    r.simulated = integer(row, "simulated") != 0;
    r.readAt = time(row, "read_at");
    r.readings = parseReadings(text(row, "readings"));
    r.zeroText = text(row, "zero");
    r.absorbance = real(row, "absorbance");
    r.a0 = real(row, "a0");
    r.thicknessUm = real(row, "thickness_um");
    r.uThicknessUm = real(row, "u_thickness_um");
    r.thicknessMeasured = integer(row, "thickness_measured") != 0;
    r.result.response = real(row, "response");
    r.result.dose = real(row, "dose_kgy");
    r.result.expanded = real(row, "u_kgy");
    r.result.components = {real(row, "u_fit_percent"),
                           real(row, "u_reference_percent"),
                           real(row, "u_reproducibility_percent"),
                           real(row, "u_thickness_percent"),
                           real(row, "u_reading_percent"),
                           0.0};
    r.result.inRange = integer(row, "in_range") != 0;
    r.reread = static_cast<int>(integer(row, "reread"));
    r.flags = texts(text(row, "flags"));
    r.operatorName = text(row, "operator");
    r.comment = text(row, "comment");
    r.createdAt = time(row, "created_at");
    const QVariant& budget = row("budget");
    if (budget.isNull() || !parseRecordBudget(stringOf(budget), r))
        r.result.budget = 1;
    r.calibrationVersion = static_cast<int>(integer(row, "calibration_version"));
    r.batchVersion = static_cast<int>(integer(row, "batch_version"));
    if (const QVariant& dual = row("dual"); !dual.isNull())
        r.second = parseDual(stringOf(dual));
    r.signature = signatureOf(recordTable(), record, r.operatorName);
    return r;
}

QString canonicalOf(const Table& table, const RowValues& row) {
    if (&table == &batchTable())
        return batchOf(row).canonical();
    if (&table == &calibrationTable())
        return calibrationOf(row).canonical();
    if (&table == &fitTable())
        return fitOf(row).canonical();
    if (&table == &jobTable())
        return jobOf(row).canonical();
    if (&table == &reviewTable())
        return reviewOf(row).canonical();
    if (&table == &checkTable())
        return checkOf(row).canonical();
    if (&table == &labSettingTable())
        return labSettingOf(row).canonical();
    if (&table == &amendmentTable())
        return amendmentOf(row).canonical();
    if (&table == &mappingStudyTable())
        return mappingStudyOf(row).canonical();
    if (&table == &mappingPositionTable())
        return mappingPositionOf(row).canonical();
    if (&table == &mappingRunTable())
        return mappingRunOf(row).canonical();
    if (&table == &mappingDoseTable())
        return positionDoseOf(row).canonical();
    if (&table == &mappingApprovalTable())
        return mappingApprovalOf(row).canonical();
    if (&table == &signingFailureTable())
        return signingFailureOf(row).canonical();
    if (&table == &roleChangeTable())
        return roleChangeOf(row).canonical();
    return recordOf(row).canonical();
}

QString refOf(const Table& table, const RowValues& row) {
    const Row r(row, table);
    const QString id = r("id").toString();
    if (&table == &recordTable())
        return QStringLiteral("record %1 v%2").arg(id, r("version").toString());
    return table.kind + QLatin1Char(' ') + id;
}

} // namespace qvr::dose
