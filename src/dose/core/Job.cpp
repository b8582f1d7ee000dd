#include "dose/core/Job.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

QString ruleName(DecisionRule rule) {
    return rule == DecisionRule::Simple ? QStringLiteral("simple") : QStringLiteral("guarded");
}

std::optional<DecisionRule> ruleFromName(const QString& name) {
    for (DecisionRule r : {DecisionRule::Guarded, DecisionRule::Simple})
        if (ruleName(r) == name)
            return r;
    return std::nullopt;
}

QString wavelengthsName(bool both) {
    return both ? QStringLiteral("both") : QStringLiteral("one");
}

std::optional<bool> wavelengthsFromName(const QString& name) {
    for (bool both : {false, true})
        if (wavelengthsName(both) == name)
            return both;
    return std::nullopt;
}

QString Job::canonical() const {
    Canonical c(QStringLiteral("job"));
    c.text("id", id)
        .text("product", product)
        .number("dmin_kgy", dminKGy)
        .number("dmax_kgy", dmaxKGy)
        .flag("training", training)
        .text("operator", operatorName)
        .time("created_at", createdAt);
    if (ruleStored)
        c.text("decision_rule", ruleName(rule));
    // Absent for one wavelength, so jobs stored before jobs named it keep their text.
    if (bothWavelengths)
        c.text("wavelengths", wavelengthsName(true));
    if (routine())
        c.text("study", studyId)
            .text("position", monitoringPosition)
            .number("process_value", processValue)
            .text("process_unit", processUnit);
    return c.finish();
}

} // namespace qvr::dose
