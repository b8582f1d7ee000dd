#include "dose/core/Record.h"

#include "dose/core/Canonical.h"
#include "dose/core/Decision.h"
#include "dose/core/DualRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <limits>

namespace qvr::dose {

DoseInput doseInputOf(Record& record, const Calibration& calibration) {
    std::vector<double> values;
    double sum = 0;
    for (const Reading& r : record.readings) {
        values.push_back(r.absorbance);
        sum += r.absorbance;
    }
    if (!values.empty())
        record.absorbance = sum / values.size();
    DoseInput input;
    input.absorbance = record.absorbance;
    input.a0 = record.a0;
    input.thicknessUm = record.thicknessUm;
    input.uThicknessUm = record.uThicknessUm;
    input.readingSd = readingSpread(values);
    input.thicknessMeasured = record.thicknessMeasured;
    input.calibrationA0 = calibration.a0;
    input.uA0 = record.uA0;
    return input;
}

void evaluateRecord(Record& record, const Fit& fit, const Job& job,
                    const Calibration& calibration) {
    record.result = computeDose(fit, doseInputOf(record, calibration));
    flagRecord(record, fit, job, calibration);
}

void flagRecord(Record& record, const Fit& fit, const Job& job, const Calibration& calibration) {
    const DoseResult& r = record.result;
    QStringList flags;
    if (job.training)
        flags << QStringLiteral("training");
    if (record.simulated)
        flags << QStringLiteral("simulated");
    if (!r.inRange)
        flags << validityFlag(r.validity);
    if (record.reread > 0)
        flags << QStringLiteral("reread_%1").arg(record.reread);
    if (r.inRange)
        flags << decisionFlags(r.dose, r.expanded, job);
    else if (r.validity == Validity::BelowRange || r.validity == Validity::AboveRange)
        flags << rangeDecisionFlags(r.validity == Validity::BelowRange,
                                    r.validity == Validity::BelowRange ? fit.doseLo : fit.doseHi,
                                    job);
    if (record.irradiatedAt.isValid() &&
        (calibration.windowMinHours || calibration.windowMaxHours)) {
        const double hours = record.irradiatedAt.msecsTo(record.readAt) / 3.6e6;
        if ((calibration.windowMinHours && hours < *calibration.windowMinHours) ||
            (calibration.windowMaxHours && hours > *calibration.windowMaxHours))
            flags << QStringLiteral("outside_window");
    }
    if (record.flags.contains(kCheckFailedAfter))
        flags << kCheckFailedAfter;
    record.flags = flags;
}

Validity recordValidity(const Record& record) {
    for (Validity v : {Validity::BelowRange, Validity::AboveRange, Validity::NoDose})
        if (record.flags.contains(validityFlag(v)))
            return v;
    if (record.result.inRange && std::isfinite(record.result.dose) &&
        std::isfinite(record.result.expanded))
        return Validity::Valid;
    return record.flags.contains(validityFlag(Validity::OutsideRange)) ? Validity::OutsideRange
                                                                       : Validity::NoDose;
}

bool countsInMean(const Record& record) {
    return recordValidity(record) == Validity::Valid &&
           !record.flags.contains(QStringLiteral("outside_window")) &&
           !record.flags.contains(kCheckFailedAfter);
}

QStringList currentFlags(const Record& record, const Job& job) {
    const Validity v = recordValidity(record);
    if (v == Validity::BelowRange || v == Validity::AboveRange)
        return record.flags;
    QStringList flags;
    for (const QString& f : record.flags)
        if (!isDecisionFlag(f))
            flags << f;
    if (v == Validity::Valid) {
        const QStringList decided = decisionFlags(record.result.dose, record.result.expanded, job);
        // In the order evaluateRecord gives them: after the reread count.
        qsizetype at = 0;
        for (qsizetype i = 0; i < flags.size(); ++i)
            if (flags[i] == u"training" || flags[i] == u"simulated" ||
                flags[i].startsWith(QLatin1String("reread_")))
                at = i + 1;
        for (qsizetype i = 0; i < decided.size(); ++i)
            flags.insert(at + i, decided[i]);
    }
    return flags;
}

QString Record::canonical() const {
    const Components& c = result.components;
    Canonical out(QStringLiteral("record"));
    out.integer("id", id)
        .integer("version", version)
        .text("reason", reason)
        .text("job", jobId)
        .text("dosimeter", dosimeter)
        .time("irradiated_at", irradiatedAt)
        .integer("calibration", calibrationId)
        .integer("fit", fitId)
        .text("batch", batchId)
        .integer("wavelength_nm", wavelengthNm)
        .text("head", headSerial)
        .flag("simulated", simulated)
        .time("read_at", readAt)
        .raw("readings", readingsText(readings))
        .text("zero", zeroText)
        .number("absorbance", absorbance)
        .number("a0", a0)
        .number("thickness_um", thicknessUm)
        .number("u_thickness_um", uThicknessUm)
        .flag("thickness_measured", thicknessMeasured)
        .number("response", result.response)
        .number("dose_kgy", result.dose)
        .number("u_kgy", result.expanded)
        .number("u_fit_percent", c.fit)
        .number("u_reference_percent", c.reference)
        .number("u_reproducibility_percent", c.reproducibility)
        .number("u_thickness_percent", c.thickness)
        .number("u_reading_percent", c.reading)
        .flag("in_range", result.inRange)
        .integer("reread", reread)
        .raw("flags", textArray(flags))
        .text("operator", operatorName)
        .text("comment", comment)
        .time("created_at", createdAt);
    if (result.budget >= 2)
        out.raw("budget", recordBudgetText(*this));
    if (calibrationVersion > 0)
        out.integer("calibration_version", calibrationVersion);
    if (batchVersion > 0)
        out.integer("batch_version", batchVersion);
    if (second)
        out.raw("dual", dualText(*second));
    addSignature(out, signature);
    return out.finish();
}

QString recordBudgetText(const Record& r) {
    return Canonical(QStringLiteral("budget"))
        .integer("version", r.result.budget)
        .number("k", r.result.coverage)
        .number("dof", r.result.dof)
        .number("u_a0", r.uA0)
        .number("u_background_percent", r.result.components.background)
        .raw("systematic", QStringLiteral("[\"reference\"]"))
        .finish();
}

bool parseRecordBudget(const QString& json, Record& r) {
    const QJsonObject o = parseStoredJson(json).object();
    if (o.isEmpty() || !o.value(QLatin1String("version")).isDouble())
        return false;
    r.result.budget = o.value(QLatin1String("version")).toInt();
    r.result.coverage = o.value(QLatin1String("k")).toDouble();
    r.result.dof = o.value(QLatin1String("dof")).toDouble();
    r.uA0 = o.value(QLatin1String("u_a0")).toDouble();
    const QJsonValue bg = o.value(QLatin1String("u_background_percent"));
    r.result.components.background =
        bg.isDouble() ? bg.toDouble() : std::numeric_limits<double>::quiet_NaN();
    return true;
}

QString readingsText(const std::vector<Reading>& readings) {
    QStringList parts;
    for (const Reading& r : readings)
        parts << QStringLiteral("[%1,%2]").arg(quoted(timeText(r.at)), numberText(r.absorbance));
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

std::vector<Reading> parseReadings(const QString& json) {
    // The form readingsText() writes, [["time",A],...], split by hand: it is read for every
    // record listed or exported. Anything else goes to the JSON parser.
    std::vector<Reading> readings;
    const QStringView all(json);
    readings.reserve(static_cast<size_t>(all.count(QLatin1Char(']'))));
    bool plain = all.startsWith(QLatin1String("[")) && all.endsWith(QLatin1String("]"));
    for (qsizetype at = 1; plain && at < all.size() - 1;) {
        if (all.mid(at, 3) != QLatin1String("[\"\"") && all.mid(at, 2) != QLatin1String("[\""))
            plain = false;
        const qsizetype close = all.indexOf(QLatin1Char(']'), at);
        const QStringView item =
            plain && close > at ? all.mid(at + 1, close - at - 1) : QStringView();
        const qsizetype comma = item.lastIndexOf(QLatin1Char(','));
        if (item.isEmpty() || comma < 2) {
            plain = false;
            break;
        }
        const auto value = parseNumber(item.mid(comma + 1));
        const QDateTime time = parseTime(item.mid(1, comma - 2));
        if (!value) {
            plain = false;
            break;
        }
        readings.push_back({time, *value});
        at = close + 1;
        if (at < all.size() - 1 && all[at] == QLatin1Char(','))
            ++at;
    }
    if (plain)
        return readings;
    readings.clear();
    for (const auto& row : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonArray a = row.toArray();
        readings.push_back({parseTime(a.at(0).toString()), a.at(1).toDouble()});
    }
    return readings;
}

} // namespace qvr::dose
