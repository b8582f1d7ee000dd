#pragma once
// A job: one irradiation run whose dosimeters are read, with the product's dose limits and the
// rule by which a dose is judged against them.

#include <QDateTime>
#include <QString>
#include <optional>

namespace qvr::dose {

enum class DecisionRule {
    Guarded, // a limit is broken or met only beyond the expanded uncertainty (w = U)
    Simple,  // on the dose alone, a lab's choice for the job
};

QString ruleName(DecisionRule rule); // "guarded", "simple"
std::optional<DecisionRule> ruleFromName(const QString& name);

QString wavelengthsName(bool both); // "one", "both"
std::optional<bool> wavelengthsFromName(const QString& name);

struct Job {
    QString id;
    QString product;
    std::optional<double> dminKGy;
    std::optional<double> dmaxKGy;
    bool training = false; // readings of the simulated head are accepted only here
    QString operatorName;
    QDateTime createdAt;
    DecisionRule rule = DecisionRule::Guarded;
    // False for a job stored before jobs named their rule: it is judged by the guarded rule,
    // which is not part of its stored text.
    bool ruleStored = true;
    // Each film read at both of the head's wavelengths, through calibrations made from the same
    // films; their two doses must agree.
    bool bothWavelengths = false;
    // A routine job names an approved mapping study, one of its monitoring positions and the
    // process parameter it ran with; its doses infer the product's Dmin and Dmax.
    QString studyId;
    QString monitoringPosition;
    double processValue = 0;
    QString processUnit;

    bool routine() const { return !studyId.isEmpty(); }
    QString canonical() const;
};

} // namespace qvr::dose
