#include "dose/core/Fit.h"

#include "dose/core/Canonical.h"

#include <QJsonArray>
#include <QJsonObject>
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
    if (budget >= 2)
        c.raw("budget", budgetText(*this));
    addSignature(c, signature);
    return c.finish();
}

double Fit::referencePercentAt(double doseKGy) const {
    const auto& d = levelDoses;
    const auto& u = levelReferencePercent;
    if (budget < 2 || u.size() != d.size() || d.empty())
        return referencePercent;
    if (!(doseKGy > d.front()))
        return u.front();
    for (size_t i = 1; i < d.size(); ++i)
        if (doseKGy <= d[i]) {
            const double f = std::log(doseKGy / d[i - 1]) / std::log(d[i] / d[i - 1]);
            return u[i - 1] + f * (u[i] - u[i - 1]);
        }
    return u.back();
}

QString budgetText(const Fit& f) {
    const Reproducibility& r = f.reproducibility;
    return Canonical(QStringLiteral("budget"))
        .integer("version", f.budget)
        .flag("reproducibility_by_dose", r.byDose)
        .number("reproducibility_a_percent", 100 * r.a)
        .number("reproducibility_b_percent_kgy", 100 * r.b)
        .integer("reproducibility_dof", r.dof)
        .raw("reproducibility_covariance",
             numberArray({r.covariance[0], r.covariance[1], r.covariance[2]}))
        .raw("level_reference_percent", numberArray(f.levelReferencePercent))
        .integer("fit_dof", f.fitDof)
        .number("reader_sd", f.readerSd)
        .finish();
}

bool parseBudget(const QString& json, Fit& f) {
    const QJsonObject o = parseStoredJson(json).object();
    if (o.isEmpty() || !o.value(QLatin1String("version")).isDouble())
        return false;
    f.budget = o.value(QLatin1String("version")).toInt();
    Reproducibility& r = f.reproducibility;
    r.byDose = o.value(QLatin1String("reproducibility_by_dose")).toBool();
    r.a = o.value(QLatin1String("reproducibility_a_percent")).toDouble() / 100;
    r.b = o.value(QLatin1String("reproducibility_b_percent_kgy")).toDouble() / 100;
    r.dof = o.value(QLatin1String("reproducibility_dof")).toInt();
    const QJsonArray cov = o.value(QLatin1String("reproducibility_covariance")).toArray();
    for (int i = 0; i < 3 && i < cov.size(); ++i)
        r.covariance[i] = cov.at(i).toDouble();
    f.levelReferencePercent.clear();
    for (const QJsonValue& v : o.value(QLatin1String("level_reference_percent")).toArray())
        f.levelReferencePercent.push_back(v.toDouble());
    f.fitDof = o.value(QLatin1String("fit_dof")).toInt();
    f.readerSd = o.value(QLatin1String("reader_sd")).toDouble();
    return true;
}

QString dofText(const Acceptance& a) {
    return QStringLiteral("[%1,%2]").arg(a.lackOfFitDof).arg(a.pureErrorDof);
}

} // namespace qvr::dose
