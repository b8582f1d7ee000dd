#pragma once
// Dmin and Dmax of a routine run inferred from the dose at a monitoring position through the
// ratios of an approved mapping study. The relative standard uncertainty of an inferred dose
// combines the ratio's with the whole of the monitoring dose's (systematic part included: the
// inferred dose is a dose, not a ratio). The decision applies the job's rule to both against
// the study's minimum required and maximum acceptable doses.

#include "dose/core/Decision.h"
#include "dose/core/MappingSummary.h"

namespace qvr::dose {

struct InferredDoses {
    double dminKGy = 0, uDminKGy = 0; // expanded
    double dmaxKGy = 0, uDmaxKGy = 0;
    double coverage = kMappingCoverage;
    Decision decision = Decision::NoValidRead;
};

// monitoringU and monitoringK: the monitoring dose's expanded uncertainty and its k.
InferredDoses inferDoses(double monitoringKGy, double monitoringU, double monitoringK,
                         const RatioResult& ratio, const MappingStudy& study, DecisionRule rule);

} // namespace qvr::dose
