#include "dose/core/RoutineInference.h"

#include <cmath>

namespace qvr::dose {

InferredDoses inferDoses(double monitoringKGy, double monitoringU, double monitoringK,
                         const RatioResult& ratio, const MappingStudy& study, DecisionRule rule) {
    InferredDoses d;
    if (!(monitoringKGy > 0) || !std::isfinite(monitoringU) || !(monitoringK > 0) ||
        !(ratio.meanMin > 0) || !(ratio.meanMax > 0))
        return d;
    const double uMon = monitoringU / monitoringK / monitoringKGy;
    auto infer = [&](double mean, double expanded, double& dose, double& u) {
        dose = mean * monitoringKGy;
        u = d.coverage * dose * std::hypot(expanded / kMappingCoverage / mean, uMon);
    };
    infer(ratio.meanMin, ratio.uMin, d.dminKGy, d.uDminKGy);
    infer(ratio.meanMax, ratio.uMax, d.dmaxKGy, d.uDmaxKGy);
    const double lo = study.minRequiredKGy, hi = study.maxAcceptableKGy;
    if (rule == DecisionRule::Simple) {
        d.decision = d.dminKGy >= lo && d.dmaxKGy <= hi ? Decision::Pass : Decision::Fail;
    } else if (d.dminKGy - d.uDminKGy >= lo && d.dmaxKGy + d.uDmaxKGy <= hi) {
        d.decision = Decision::Pass;
    } else if (d.dminKGy + d.uDminKGy < lo || d.dmaxKGy - d.uDmaxKGy > hi) {
        d.decision = Decision::Fail;
    } else {
        d.decision = Decision::Undecided;
    }
    return d;
}

} // namespace qvr::dose
