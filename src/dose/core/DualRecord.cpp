#include "dose/core/DualRecord.h"

#include "dose/core/Canonical.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <limits>

namespace qvr::dose {

namespace {

constexpr DualOutcome kOutcomes[] = {DualOutcome::Combined, DualOutcome::Mismatch,
                                     DualOutcome::FirstOnly, DualOutcome::SecondOnly,
                                     DualOutcome::NoDose};

QString resultText(const DoseResult& r) {
    const Components& c = r.components;
    return Canonical(QStringLiteral("dose"))
        .number("response", r.response)
        .number("dose_kgy", r.dose)
        .number("u_kgy", r.expanded)
        .number("k", r.coverage)
        .number("dof", r.dof)
        .integer("budget", r.budget)
        .flag("in_range", r.inRange)
        .text("validity", validityFlag(r.validity))
        .text("reason", r.reason)
        .number("u_fit_percent", c.fit)
        .number("u_reference_percent", c.reference)
        .number("u_reproducibility_percent", c.reproducibility)
        .number("u_thickness_percent", c.thickness)
        .number("u_reading_percent", c.reading)
        .number("u_background_percent", c.background)
        .finish();
}

QString agreementText(const SecondRead& s) {
    if (!s.hasAgreement)
        return QStringLiteral("null");
    return Canonical(QStringLiteral("agreement"))
        .number("difference_kgy", s.agreement.difference)
        .number("u_difference_kgy", s.agreement.uDifference)
        .number("k", s.agreement.coverage)
        .number("expanded_kgy", s.agreement.expanded)
        .flag("consistent", s.agreement.consistent)
        .finish();
}

// A stored number; null (not finite when written) comes back as not a number.
double number(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toDouble() : std::numeric_limits<double>::quiet_NaN();
}

std::optional<Validity> validityOf(const QString& flag) {
    for (Validity v : {Validity::Valid, Validity::BelowRange, Validity::AboveRange,
                       Validity::NoDose, Validity::OutsideRange})
        if (validityFlag(v) == flag)
            return v;
    return std::nullopt;
}

std::optional<DoseResult> resultOf(const QJsonObject& o) {
    const auto validity = validityOf(o.value(QLatin1String("validity")).toString());
    if (!validity || !o.value(QLatin1String("budget")).isDouble())
        return std::nullopt;
    DoseResult r;
    r.response = number(o, "response");
    r.dose = number(o, "dose_kgy");
    r.expanded = number(o, "u_kgy");
    r.coverage = number(o, "k");
    r.dof = number(o, "dof");
    r.budget = o.value(QLatin1String("budget")).toInt();
    r.inRange = o.value(QLatin1String("in_range")).toBool();
    r.validity = *validity;
    r.reason = o.value(QLatin1String("reason")).toString();
    r.components = {number(o, "u_fit_percent"),
                    number(o, "u_reference_percent"),
                    number(o, "u_reproducibility_percent"),
                    number(o, "u_thickness_percent"),
                    number(o, "u_reading_percent"),
                    number(o, "u_background_percent")};
    return r;
}

WavelengthDose wavelengthDose(int nm, const DoseResult& result, const Fit& fit) {
    WavelengthDose w;
    w.wavelengthNm = nm;
    w.result = result;
    if (result.inRange && fit.budget >= 2) {
        w.fitDof = fit.fitDof;
        w.reproducibilityDof = fit.reproducibility.dofAt(std::fabs(result.dose));
    }
    return w;
}

} // namespace

QString dualOutcomeName(DualOutcome outcome) {
    switch (outcome) {
    case DualOutcome::Combined:
        return QStringLiteral("combined");
    case DualOutcome::Mismatch:
        return QStringLiteral("mismatch");
    case DualOutcome::FirstOnly:
        return QStringLiteral("first_only");
    case DualOutcome::SecondOnly:
        return QStringLiteral("second_only");
    case DualOutcome::NoDose:
        break;
    }
    return QStringLiteral("no_dose");
}

QString dualText(const SecondRead& s) {
    return Canonical(QStringLiteral("dual"))
        .integer("wavelength_nm", s.wavelengthNm)
        .integer("calibration", s.calibrationId)
        .integer("calibration_version", s.calibrationVersion)
        .integer("fit", s.fitId)
        .raw("readings", readingsText(s.readings))
        .text("zero", s.zeroText)
        .number("absorbance", s.absorbance)
        .number("a0", s.a0)
        .number("u_a0", s.uA0)
        .raw("first", resultText(s.first))
        .raw("second", resultText(s.second))
        .text("outcome", dualOutcomeName(s.outcome))
        .raw("agreement", agreementText(s))
        .number("weight_first", s.weightFirst)
        .text("note", s.note)
        .finish();
}

std::optional<SecondRead> parseDual(const QString& json) {
    const QJsonObject o = parseStoredJson(json).object();
    const auto first = resultOf(o.value(QLatin1String("first")).toObject());
    const auto second = resultOf(o.value(QLatin1String("second")).toObject());
    if (!first || !second)
        return std::nullopt;
    SecondRead s;
    s.wavelengthNm = o.value(QLatin1String("wavelength_nm")).toInt();
    s.calibrationId = o.value(QLatin1String("calibration")).toInteger();
    s.calibrationVersion = o.value(QLatin1String("calibration_version")).toInt();
    s.fitId = o.value(QLatin1String("fit")).toInteger();
    for (const QJsonValue& row : o.value(QLatin1String("readings")).toArray()) {
        const QJsonArray a = row.toArray();
        s.readings.push_back({parseTime(a.at(0).toString()), a.at(1).toDouble()});
    }
    s.zeroText = o.value(QLatin1String("zero")).toString();
    s.absorbance = number(o, "absorbance");
    s.a0 = number(o, "a0");
    s.uA0 = number(o, "u_a0");
    s.first = *first;
    s.second = *second;
    // An outcome this program does not know gives no dose.
    const QString outcome = o.value(QLatin1String("outcome")).toString();
    for (DualOutcome d : kOutcomes)
        if (dualOutcomeName(d) == outcome)
            s.outcome = d;
    const QJsonObject a = o.value(QLatin1String("agreement")).toObject();
    s.hasAgreement = !a.isEmpty();
    if (s.hasAgreement) {
        s.agreement.difference = number(a, "difference_kgy");
        s.agreement.uDifference = number(a, "u_difference_kgy");
        s.agreement.coverage = number(a, "k");
        s.agreement.expanded = number(a, "expanded_kgy");
        s.agreement.consistent = a.value(QLatin1String("consistent")).toBool();
    }
    s.weightFirst = number(o, "weight_first");
    s.note = o.value(QLatin1String("note")).toString();
    return s;
}

DoseInput secondInputOf(const Record& record, SecondRead& second, const Calibration& calibration) {
    std::vector<double> values;
    double sum = 0;
    for (const Reading& r : second.readings) {
        values.push_back(r.absorbance);
        sum += r.absorbance;
    }
    if (!values.empty())
        second.absorbance = sum / values.size();
    DoseInput input;
    input.absorbance = second.absorbance;
    input.a0 = second.a0;
    input.thicknessUm = record.thicknessUm;
    input.uThicknessUm = record.uThicknessUm;
    input.readingSd = readingSpread(values);
    input.thicknessMeasured = record.thicknessMeasured;
    input.calibrationA0 = calibration.a0;
    input.uA0 = second.uA0;
    return input;
}

void evaluateDualRecord(Record& record, const Job& job, const Calibration& firstCalibration,
                        const Fit& firstFit, const Calibration& secondCalibration,
                        const Fit& secondFit) {
    SecondRead& s = *record.second;
    s.first = computeDose(firstFit, doseInputOf(record, firstCalibration));
    s.second = computeDose(secondFit, secondInputOf(record, s, secondCalibration));
    const WavelengthDose a = wavelengthDose(record.wavelengthNm, s.first, firstFit);
    const WavelengthDose b = wavelengthDose(s.wavelengthNm, s.second, secondFit);
    const DualDose d = combineWavelengths(
        a, b, fitCorrelation(firstCalibration, firstFit, secondCalibration, secondFit));
    s.outcome = d.outcome;
    s.hasAgreement = d.hasAgreement;
    s.agreement = d.agreement;
    s.weightFirst = d.weightFirst;
    s.note = d.note;

    const Fit* rangeFit = &firstFit;
    switch (d.outcome) {
    case DualOutcome::SecondOnly:
        record.result = s.second;
        rangeFit = &secondFit;
        break;
    case DualOutcome::FirstOnly:
    case DualOutcome::NoDose:
        record.result = s.first;
        break;
    case DualOutcome::Combined:
    case DualOutcome::Mismatch: {
        DoseResult r = s.first;
        r.budget = std::min(s.first.budget, s.second.budget);
        r.dose = d.dose;
        r.expanded = d.expanded;
        r.coverage = d.coverage;
        r.dof = d.dof;
        r.components = d.components;
        r.inRange = d.outcome == DualOutcome::Combined;
        r.validity = r.inRange ? Validity::Valid : Validity::NoDose;
        r.reason = r.inRange ? QString() : d.note;
        if (!r.inRange)
            r.components = {};
        record.result = r;
        break;
    }
    }
    flagRecord(record, *rangeFit, job, firstCalibration);
    if (d.outcome == DualOutcome::Mismatch)
        record.flags.replace(record.flags.indexOf(validityFlag(Validity::NoDose)),
                             kWavelengthMismatch);
}

} // namespace qvr::dose
