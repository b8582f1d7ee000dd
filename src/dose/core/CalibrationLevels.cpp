#include "dose/core/CalibrationLevels.h"

#include <cmath>

namespace qvr::dose {

double Level::mean() const {
    double s = 0;
    for (double r : responses)
        s += r;
    return s / responses.size();
}

double Level::cvPercent() const {
    if (responses.size() < 2)
        return 0;
    const double m = mean();
    double ss = 0;
    for (double r : responses)
        ss += (r - m) * (r - m);
    return 100 * std::sqrt(ss / (responses.size() - 1)) / std::fabs(m);
}

QString pointName(const Calibration& calibration, size_t i) {
    const QString id = calibration.points[i].dosimeter;
    return id.isEmpty() ? QStringLiteral("#%1").arg(i + 1) : id;
}

Outcome<Included> included(const Calibration& calibration, const QStringList& exclude) {
    std::vector<bool> out(calibration.points.size(), false);
    for (const QString& name : exclude) {
        std::vector<size_t> named;
        for (size_t i = 0; i < calibration.points.size(); ++i)
            if (calibration.points[i].dosimeter == name || QStringLiteral("#%1").arg(i + 1) == name)
                named.push_back(i);
        if (named.empty())
            return Failure{QStringLiteral("calibration %1 has no point %2 to exclude")
                               .arg(calibration.id)
                               .arg(name)};
        if (named.size() > 1) {
            QStringList numbers;
            for (size_t i : named)
                numbers << QStringLiteral("#%1").arg(i + 1);
            return Failure{QStringLiteral("%1 names %2 points of calibration %3; exclude them by "
                                          "number (%4)")
                               .arg(name, QString::number(named.size()),
                                    QString::number(calibration.id),
                                    numbers.join(QStringLiteral(", ")))};
        }
        out[named.front()] = true;
    }
    Included in;
    const std::vector<double> k = calibration.responses();
    for (size_t i = 0; i < k.size(); ++i) {
        if (out[i])
            continue;
        in.points.push_back(i);
        Level& level = in.levels[calibration.points[i].doseKGy];
        level.dose = calibration.points[i].doseKGy;
        level.responses.push_back(k[i]);
        level.points.push_back(i);
    }
    return in;
}

std::vector<double> levelResponses(const Calibration& calibration, const QStringList& excluded) {
    std::vector<double> means;
    if (auto in = included(calibration, excluded))
        for (const auto& [dose, level] : in->levels)
            means.push_back(level.mean());
    return means;
}

} // namespace qvr::dose
