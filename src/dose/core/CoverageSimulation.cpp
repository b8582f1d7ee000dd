#include "dose/core/CoverageSimulation.h"

#include "dose/core/Fitting.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace qvr::dose {

namespace {

quint64 rotl(quint64 x, int k) {
    return (x << k) | (x >> (64 - k));
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The response the fitted curve gives a dose, by bisection over where it rises.
double responseAt(const Fit& fit, double dose) {
    double lo = fit.responseLo, hi = fit.responseHi;
    const double span = hi - lo;
    // A little past the calibrated range, while the curve still rises there.
    for (int i = 0; i < 20 && fit.dose(lo) > dose; ++i) {
        const double next = lo - span / 20;
        if (!(fit.slope(next) > 0) || (fit.model == Model::Power && !(next > 0)))
            break;
        lo = next;
    }
    for (int i = 0; i < 20 && fit.dose(hi) < dose; ++i) {
        const double next = hi + span / 20;
        if (!(fit.slope(next) > 0))
            break;
        hi = next;
    }
    for (int i = 0; i < 100; ++i) {
        const double mid = (lo + hi) / 2;
        (fit.dose(mid) < dose ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

} // namespace

Random::Random(quint64 seed) {
    for (quint64& s : s_) { // splitmix64
        seed += 0x9e3779b97f4a7c15ULL;
        quint64 z = seed;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        s = z ^ (z >> 31);
    }
}

double Random::uniform() {
    const quint64 result = rotl(s_[1] * 5, 7) * 9;
    const quint64 t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return ((result >> 11) + 0.5) * 0x1.0p-53;
}

double Random::normal() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    const double r = std::sqrt(-2 * std::log(uniform())), phi = 2 * M_PI * uniform();
    spare_ = r * std::sin(phi);
    hasSpare_ = true;
    return r * std::cos(phi);
}

CoverageReport simulateCoverage(const SimulatedTruth& truth, int trials, quint64 seed,
                                bool weighted, const AcceptanceCriteria& criteria,
                                std::optional<Model> model) {
    Random random(seed);
    CoverageReport report;
    const size_t doses = truth.routineDoses.size();
    std::vector<std::vector<double>> errors(doses), us(doses), ks(doses);
    std::vector<int> covered(doses, 0);
    FitOptions options;
    options.criteria = criteria;
    for (int trial = 0; trial < trials; ++trial) {
        ++report.calibrations;
        // One error of the reference doses, common to the calibration: systematic.
        const double common = random.normal();
        Calibration c;
        c.a0 = truth.a0;
        for (size_t l = 0; l < truth.levelDoses.size(); ++l) {
            const double u = truth.levelReferencePercent[l];
            const double delivered = truth.levelDoses[l] * (1 + common * u / 100);
            for (int f = 0; f < truth.filmsPerLevel; ++f) {
                CalibrationPoint p = truth.calibrationFilm(delivered, random);
                p.doseKGy = truth.levelDoses[l];
                p.uDosePercent = u;
                c.points.push_back(p);
            }
        }
        const Outcome<Fit> fit =
            model ? fitCalibration(c, *model, weighted, options) : chooseFit(c, weighted, options);
        std::vector<DoseInput> films;
        for (int n = 0; n < truth.routineFilms; ++n)
            for (double d : truth.routineDoses)
                films.push_back(truth.routineFilm(d, random));
        if (!fit || !fit->acceptance.accepted) {
            ++report.rejected;
            continue;
        }
        for (size_t f = 0; f < films.size(); ++f) {
            const size_t j = f % doses;
            const DoseResult r = computeDose(*fit, films[f]);
            if (r.validity != Validity::Valid)
                continue;
            const double truthDose = truth.routineDoses[j];
            errors[j].push_back(r.dose - truthDose);
            us[j].push_back(r.expanded);
            ks[j].push_back(r.coverage);
            if (std::fabs(r.dose - truthDose) <= r.expanded)
                ++covered[j];
        }
    }
    for (size_t j = 0; j < doses; ++j) {
        CoverageAtDose at;
        at.dose = truth.routineDoses[j];
        at.films = static_cast<int>(errors[j].size());
        if (at.films > 1) {
            double mean = 0, ss = 0;
            for (double e : errors[j])
                mean += e;
            mean /= at.films;
            for (double e : errors[j])
                ss += (e - mean) * (e - mean);
            const double sd = std::sqrt(ss / (at.films - 1));
            at.coveragePercent = 100.0 * covered[j] / at.films;
            at.medianUPercent = 100 * median(us[j]) / at.dose;
            at.errorSdPercent = 100 * sd / at.dose;
            at.uOverError = sd > 0 ? median(us[j]) / (2 * sd) : 0;
            at.medianK = median(ks[j]);
        }
        report.levels.push_back(at);
    }
    return report;
}

SimulatedTruth truthOfFit(const Fit& fit, const Calibration& calibration) {
    SimulatedTruth t;
    t.a0 = calibration.a0;
    std::map<double, int> films;
    double thickness = 0;
    for (const CalibrationPoint& p : calibration.points) {
        ++films[p.doseKGy];
        thickness += p.thicknessUm;
    }
    thickness /= std::max<size_t>(1, calibration.points.size());
    t.levelDoses = fit.levelDoses;
    t.levelReferencePercent = fit.levelReferencePercent;
    if (t.levelReferencePercent.size() != t.levelDoses.size())
        t.levelReferencePercent.assign(t.levelDoses.size(), fit.referencePercent);
    int fewest = 0;
    for (double d : t.levelDoses)
        fewest = fewest ? std::min(fewest, films[d]) : films[d];
    t.filmsPerLevel = std::max(fewest, 1);
    for (size_t l = 1; l + 1 < t.levelDoses.size(); ++l)
        t.routineDoses.push_back(t.levelDoses[l]);
    // A film's response scatters about the curve by the reproducibility model.
    auto film = [fit, thickness, a0 = t.a0](double delivered, Random& random) {
        const double k = responseAt(fit, delivered) *
                         (1 + fit.reproducibility.cvAt(delivered) * random.normal());
        return a0 + k * thickness / 1000;
    };
    t.calibrationFilm = [film, thickness, sd = fit.readerSd](double delivered, Random& random) {
        CalibrationPoint p;
        p.absorbance = film(delivered, random);
        p.thicknessUm = thickness;
        p.readerSd = sd;
        return p;
    };
    t.routineFilm = [film, thickness, fit, a0 = t.a0](double delivered, Random& random) {
        DoseInput in;
        in.absorbance = film(delivered, random);
        in.a0 = a0;
        in.calibrationA0 = a0;
        in.thicknessUm = thickness;
        in.thicknessMeasured = true;
        if (fit.readerSd > 0)
            in.readingSd = fit.readerSd;
        return in;
    };
    return t;
}

} // namespace qvr::dose
