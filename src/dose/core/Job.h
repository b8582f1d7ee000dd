#pragma once
// A job: one irradiation run whose dosimeters are read, with the product's dose limits.

#include <QDateTime>
#include <QString>
#include <optional>

namespace qvr::dose {

struct Job {
    QString id;
    QString product;
    std::optional<double> dminKGy;
    std::optional<double> dmaxKGy;
    bool training = false; // readings of the simulated head are accepted only here
    QString operatorName;
    QDateTime createdAt;

    QString canonical() const;
};

} // namespace qvr::dose
