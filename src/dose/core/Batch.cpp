#include "dose/core/Batch.h"

#include "dose/core/Amendment.h"
#include "dose/core/Canonical.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace qvr::dose {

std::optional<double> Batch::a0(int wavelengthNm) const {
    const auto it = background.find(wavelengthNm);
    if (it == background.end())
        return std::nullopt;
    return it->second;
}

double Batch::uA0(int wavelengthNm) const {
    const auto it = uBackground.find(wavelengthNm);
    return it == uBackground.end() ? 0.0 : it->second;
}

QString Batch::canonical() const {
    Canonical out(QStringLiteral("batch"));
    out.text("id", id)
        .text("description", description)
        .number("thickness_um", thicknessUm)
        .number("u_thickness_um", uThicknessUm)
        .raw("background", backgroundText(background))
        .date("expires", expires)
        .text("operator", operatorName)
        .time("created_at", createdAt);
    // Batches stored before it was kept have none: their texts stay as they were.
    if (!uBackground.empty())
        out.raw("u_background", backgroundText(uBackground));
    return out.finish();
}

QString backgroundText(const std::map<int, double>& background) {
    QStringList parts;
    for (const auto& [nm, a0] : background)
        parts << quoted(QString::number(nm)) + QLatin1Char(':') + numberText(a0);
    return QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
}

std::map<int, double> parseBackground(const QString& json) {
    std::map<int, double> background;
    const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
    for (auto it = object.begin(); it != object.end(); ++it)
        background[it.key().toInt()] = it.value().toDouble();
    return background;
}

} // namespace qvr::dose
