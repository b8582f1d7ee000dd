#include "dose/core/Fit.h"

#include "dose/core/Canonical.h"

#include <cmath>

namespace qvr::dose {

QString modelName(Model model) {
    switch (model) {
    case Model::Poly1:
        return QStringLiteral("poly1");
    case Model::Poly2:
        return QStringLiteral("poly2");
    case Model::Poly3:
        return QStringLiteral("poly3");
    case Model::Poly4:
        return QStringLiteral("poly4");
    case Model::Power:
        return QStringLiteral("power");
    }
    return QString();
}

std::optional<Model> modelFromName(const QString& name) {
    for (Model m : kModels)
        if (modelName(m) == name)
            return m;
    return std::nullopt;
}

int parameterCount(Model model) {
    switch (model) {
    case Model::Poly1:
        return 2;
    case Model::Poly2:
        return 3;
    case Model::Poly3:
        return 4;
    case Model::Poly4:
        return 5;
    case Model::Power:
        return 2;
    }
    return 0;
}

namespace {

std::vector<double> gradient(const Fit& fit, double k) {
    const auto& c = fit.coefficients;
    if (fit.model == Model::Power) {
        const double kb = std::pow(k, c[1]);
        return {kb, c[0] * kb * std::log(k)};
    }
    std::vector<double> g(c.size());
    double p = 1;
    for (double& e : g) {
        e = p;
        p *= k;
    }
    return g;
}

} // namespace

double Fit::dose(double k) const {
    const auto& c = coefficients;
    if (model == Model::Power)
        return c[0] * std::pow(k, c[1]);
    double d = 0;
    for (auto it = c.rbegin(); it != c.rend(); ++it)
        d = d * k + *it;
    return d;
}

double Fit::slope(double k) const {
    const auto& c = coefficients;
    if (model == Model::Power)
        return c[0] * c[1] * std::pow(k, c[1] - 1);
    double d = 0;
    for (int j = static_cast<int>(c.size()) - 1; j >= 1; --j)
        d = d * k + j * c[j];
    return d;
}

double Fit::doseVariance(double k) const {
    const std::vector<double> g = gradient(*this, k);
    const int n = static_cast<int>(g.size());
    double v = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            v += g[i] * covariance[i * n + j] * g[j];
    return std::max(v, 0.0);
}

QString Fit::canonical() const {
    Canonical c(QStringLiteral("fit"));
    c.integer("id", id)
        .integer("calibration", calibrationId)
        .text("model", modelName(model))
        .flag("weighted", weighted)
        .raw("coefficients", numberArray(coefficients))
        .raw("std_errors", numberArray(stdErrors))
        .raw("covariance", numberArray(covariance))
        .raw("residuals_percent", numberArray(residualsPercent))
        .number("rms_percent", rmsPercent)
        .number("r2", r2)
        .raw("level_doses", numberArray(levelDoses))
        .raw("level_cv_percent", numberArray(levelCvPercent))
        .number("dose_lo", doseLo)
        .number("dose_hi", doseHi)
        .number("response_lo", responseLo)
        .number("response_hi", responseHi)
        .number("reference_percent", referencePercent)
        .number("reproducibility_percent", reproducibilityPercent)
        .text("choice", choice)
        .text("operator", operatorName)
        .time("created_at", createdAt);
    if (judgedWhenFitted) {
        const Acceptance& a = acceptance;
        c.raw("excluded", textArray(excluded))
            .text("exclusion_reason", exclusionReason)
            .raw("level_responses", numberArray(levelResponses))
            .flag("accepted", a.accepted)
            .raw("rejections", textArray(a.rejections))
            .raw("outliers", textArray(a.outliers))
            .raw("investigate", textArray(a.investigate))
            .number("lack_of_fit_f", a.lackOfFitF)
            .number("lack_of_fit_p", a.lackOfFitP)
            .raw("lack_of_fit_dof", dofText(a))
            .number("pure_error_percent", a.pureErrorPercent)
            .raw("criteria", criteriaText(a.criteria));
    }
    return c.finish();
}

QString dofText(const Acceptance& a) {
    return QStringLiteral("[%1,%2]").arg(a.lackOfFitDof).arg(a.pureErrorDof);
}

} // namespace qvr::dose
