#include "dose/core/MappingStudy.h"

#include "dose/core/Canonical.h"

#include <map>

namespace qvr::dose {

QString MappingStudy::canonical() const {
    return Canonical(QStringLiteral("mapping_study"))
        .text("id", id)
        .text("product", product)
        .text("loading_pattern", loadingPattern)
        .text("irradiator", irradiator)
        .text("source_path", sourcePath)
        .text("process", processText)
        .number("process_value", processValue)
        .text("process_unit", processUnit)
        .number("min_required_kGy", minRequiredKGy)
        .number("max_acceptable_kGy", maxAcceptableKGy)
        .integer("required_runs", requiredRuns)
        .flag("training", training)
        .text("operator", operatorName)
        .time("created_at", createdAt)
        .finish();
}

QString MappingPosition::canonical() const {
    return Canonical(QStringLiteral("mapping_position"))
        .integer("id", rowId)
        .text("study", studyId)
        .text("position", id)
        .text("layer", layer)
        .number("x_mm", xMm)
        .number("y_mm", yMm)
        .number("z_mm", zMm)
        .flag("monitoring", monitoring)
        .text("operator", operatorName)
        .time("created_at", createdAt)
        .finish();
}

QString positionStateName(PositionState state) {
    switch (state) {
    case PositionState::Valid:
        return QStringLiteral("valid");
    case PositionState::BelowRange:
        return QStringLiteral("below_range");
    case PositionState::AboveRange:
        return QStringLiteral("above_range");
    case PositionState::NoDose:
        break;
    }
    return QStringLiteral("no_dose");
}

std::optional<PositionState> positionStateFromName(const QString& name) {
    for (PositionState s : {PositionState::Valid, PositionState::BelowRange,
                            PositionState::AboveRange, PositionState::NoDose})
        if (positionStateName(s) == name)
            return s;
    return std::nullopt;
}

QString PositionDose::canonical() const {
    const bool valid = state == PositionState::Valid;
    const bool value = state != PositionState::NoDose;
    Canonical c(QStringLiteral("mapping_dose"));
    c.integer("id", id)
        .text("run", runId)
        .text("position", position)
        .text("dosimeter", dosimeter)
        .text("state", positionStateName(state))
        .number("dose_kGy", value ? std::optional<double>(doseKGy) : std::nullopt)
        .number("U_kGy", valid ? std::optional<double>(expanded) : std::nullopt)
        .number("k", valid ? std::optional<double>(coverage) : std::nullopt)
        .number("systematic", valid ? std::optional<double>(systematicRel) : std::nullopt)
        .number("random", valid ? std::optional<double>(randomRel) : std::nullopt)
        .flag("imported", imported)
        .text("source", source)
        .text("operator", operatorName)
        .time("created_at", createdAt);
    if (read())
        c.integer("calibration", calibrationId)
            .integer("calibration_version", calibrationVersion)
            .integer("fit", fitId)
            .integer("batch_version", batchVersion)
            .raw("readings", readingsText(readings))
            .raw("flags", textArray(flags));
    return c.finish();
}

QString MappingRun::canonical() const {
    return Canonical(QStringLiteral("mapping_run"))
        .text("id", id)
        .text("study", studyId)
        .text("operator", operatorName)
        .time("created_at", createdAt)
        .finish();
}

std::vector<PositionDose> latestDoses(const std::vector<PositionDose>& all) {
    std::map<QString, size_t> at;
    std::vector<PositionDose> out;
    for (const PositionDose& d : all) {
        const auto it = at.find(d.position);
        if (it == at.end()) {
            at[d.position] = out.size();
            out.push_back(d);
        } else if (d.id >= out[it->second].id) {
            out[it->second] = d;
        }
    }
    return out;
}

QString MappingApproval::canonical() const {
    Canonical c(QStringLiteral("mapping_approval"));
    c.integer("id", id)
        .text("study", studyId)
        .text("decision", approved ? QStringLiteral("approved") : QStringLiteral("returned"))
        .text("reason", reason)
        .text("chain_head", chainHead)
        .text("approver", approver)
        .time("created_at", createdAt);
    addSignature(c, signature);
    return c.finish();
}

} // namespace qvr::dose
