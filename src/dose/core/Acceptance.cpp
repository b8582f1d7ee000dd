#include "dose/core/Acceptance.h"

#include "dose/core/Canonical.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace qvr::dose {

int levelsNeeded(const AcceptanceCriteria& criteria, double lo, double hi) {
    const double decades = lo > 0 && hi > lo ? std::log10(hi / lo) : 0;
    // A hair below a whole number of levels is that number: 1 to 10 kGy needs 5, not 6.
    const int perDecade = static_cast<int>(std::ceil(criteria.levelsPerDecade * decades - 1e-9));
    return std::max(criteria.minLevels, perDecade);
}

QString criteriaText(const AcceptanceCriteria& c) {
    return Canonical(QStringLiteral("criteria"))
        .integer("min_levels", c.minLevels)
        .integer("levels_per_decade", c.levelsPerDecade)
        .integer("min_replicates", c.minReplicates)
        .finish();
}

std::optional<AcceptanceCriteria> parseCriteria(const QString& json) {
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    if (o.value(QStringLiteral("kind")).toString() != u"criteria")
        return std::nullopt;
    return AcceptanceCriteria{o.value(QStringLiteral("min_levels")).toInt(),
                              o.value(QStringLiteral("levels_per_decade")).toInt(),
                              o.value(QStringLiteral("min_replicates")).toInt()};
}

} // namespace qvr::dose
