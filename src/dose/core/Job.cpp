#include "dose/core/Job.h"

#include "dose/core/Canonical.h"

namespace qvr::dose {

QString Job::canonical() const {
    return Canonical(QStringLiteral("job"))
        .text("id", id)
        .text("product", product)
        .number("dmin_kgy", dminKGy)
        .number("dmax_kgy", dmaxKGy)
        .flag("training", training)
        .text("operator", operatorName)
        .time("created_at", createdAt)
        .finish();
}

} // namespace qvr::dose
