#pragma once
// A calibration function, dose = f(response), as fitted and stored: its coefficients with their
// covariance, how well it fits, whether it was accepted, and what a dose computed through it
// inherits from the calibration (range, reference dose uncertainty, film-to-film
// reproducibility).

#include "dose/core/Acceptance.h"
#include "dose/core/Reproducibility.h"
#include "dose/core/Signature.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace qvr::dose {

enum class Model { Poly1, Poly2, Poly3, Poly4, Power };
inline constexpr Model kModels[] = {Model::Poly1, Model::Poly2, Model::Poly3, Model::Poly4,
                                    Model::Power};

QString modelName(Model model); // "poly1" ... "power"
std::optional<Model> modelFromName(const QString& name);
int parameterCount(Model model);

struct Fit {
    qint64 id = 0;
    qint64 calibrationId = 0;
    Model model = Model::Poly1;
    bool weighted = false;
    std::vector<double> coefficients; // lowest power first; power law: [a, b] of D = a k^b
    std::vector<double> stdErrors;
    std::vector<double> covariance;       // row-major, parameters x parameters
    std::vector<double> residualsPercent; // per point, (fitted - reference) / reference
    double rmsPercent = 0;
    double r2 = 0;
    std::vector<double> levelDoses;        // each dose level, ascending
    std::vector<double> levelCvPercent;    // replicate CV of the response at that level (0 if one)
    double doseLo = 0, doseHi = 0;         // calibrated range: lowest, highest reference dose
    double responseLo = 0, responseHi = 0; // lowest, highest calibration response
    double referencePercent = 0;           // reference dose, relative standard uncertainty
    double reproducibilityPercent = 0;     // pooled within-level relative spread of the response
    QString choice; // why this model was chosen, when it was chosen automatically
    QString operatorName;
    QDateTime createdAt;

    // Left out of the fit, by dosimeter id ("#7": the calibration's point 7), and why.
    QStringList excluded;
    QString exclusionReason;
    // Mean response of each dose level: a dose is valid only between the first and the last.
    std::vector<double> levelResponses;
    Acceptance acceptance;
    // False for a fit stored before fits were judged: its acceptance and level responses are
    // worked out when it is read, and are not part of its stored text.
    bool judgedWhenFitted = true;

    // The uncertainty budget the fit was made for: 1, one pooled reproducibility and the
    // reference's RMS everywhere, k = 2; 2, what follows, stored as one "budget" object.
    int budget = kBudget;
    Reproducibility reproducibility;           // film to film, as a function of dose
    std::vector<double> levelReferencePercent; // each level's reference dose uncertainty (k = 1)
    int fitDof = 0;                            // points - parameters
    double readerSd = 0; // the readings' spread the calibration's films were read with (0: unknown)
    // Not stored: the weighted residual sum of squares, by which models are compared.
    double weightedRss = 0;
    // Who accepted it; none on a fit not accepted or stored before acceptance was signed.
    std::optional<Signature> signature = std::nullopt;

    static constexpr int kBudget = 2;

    double dose(double k) const;
    double slope(double k) const;        // dD/dk
    double doseVariance(double k) const; // from the coefficients' covariance
    // The reference dose's relative standard uncertainty (percent) at a dose, interpolated in
    // log dose between the levels' certificate values.
    double referencePercentAt(double doseKGy) const;
    QString canonical() const;
};

// The lack-of-fit test's degrees of freedom as stored: [levels - parameters, films - levels].
QString dofText(const Acceptance& acceptance);

// The budget object of a budget 2 fit, and back (false when it does not parse).
QString budgetText(const Fit& fit);
bool parseBudget(const QString& json, Fit& fit);

} // namespace qvr::dose
