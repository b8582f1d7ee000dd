#include "dose/core/ReaderCheck.h"

#include "dose/core/Canonical.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace qvr::dose {

QString ReaderCheck::canonical() const {
    Canonical c(QStringLiteral("reader_check"));
    c.integer("id", id)
        .text("head", headSerial)
        .integer("wavelength_nm", wavelengthNm)
        .text("certificate", certificate)
        .number("tolerance_percent", tolerancePercent)
        .raw("filters", filterResultsText(filters))
        .flag("passed", passed)
        .text("operator", operatorName)
        .time("created_at", createdAt);
    addSignature(c, signature);
    return c.finish();
}

ReaderCheck compareFilters(const FilterSet& set, int wavelengthNm, const QString& headSerial,
                           const QMap<QString, double>& measured) {
    ReaderCheck check;
    check.headSerial = headSerial;
    check.wavelengthNm = wavelengthNm;
    check.certificate = set.certificate;
    check.tolerancePercent = set.tolerancePercent;
    const auto certified = set.certified.value(wavelengthNm);
    check.passed = !certified.isEmpty();
    for (auto it = certified.begin(); it != certified.end(); ++it) {
        FilterResult r{it.key(), it.value(), std::nan(""), false};
        if (measured.contains(it.key())) {
            r.measured = measured.value(it.key());
            r.pass = std::abs(r.measured - r.certified) <=
                     set.tolerancePercent / 100 * std::abs(r.certified);
        }
        check.passed &= r.pass;
        check.filters.push_back(r);
    }
    return check;
}

namespace {

QString when(const QDateTime& t, const QTimeZone& zone) {
    return t.toTimeZone(zone).toString(QStringLiteral("yyyy-MM-dd HH:mm t"));
}

} // namespace

std::optional<ReaderCheck> lastPassingCheck(const std::vector<ReaderCheck>& checks,
                                            const QString& head, int wavelengthNm,
                                            const QDateTime& upTo) {
    std::optional<ReaderCheck> last;
    for (const ReaderCheck& c : checks)
        if (c.passed && c.headSerial == head && c.wavelengthNm == wavelengthNm &&
            c.createdAt <= upTo)
            last = c;
    return last;
}

std::optional<QString> checkRefusal(const std::vector<ReaderCheck>& checks, const QString& head,
                                    int wavelengthNm, const QDateTime& now,
                                    const LabSettings& lab) {
    // A starting or absent reader has no head or wavelength to look a check up for.
    if (head.isEmpty() || wavelengthNm <= 0)
        return QStringLiteral("the reader has not told its head and wavelength yet");
    const ReaderCheck* latest = nullptr;
    for (const ReaderCheck& c : checks)
        if (c.headSerial == head && c.wavelengthNm == wavelengthNm && c.createdAt <= now)
            latest = &c;
    const QTimeZone zone = lab.zone();
    if (!latest)
        return QStringLiteral("head %1 has no filter check at %2 nm: check the reader with the "
                              "filters first")
            .arg(head, QString::number(wavelengthNm));
    if (!latest->passed)
        return QStringLiteral("the last filter check of head %1 at %2 nm (check %3, %4) failed: "
                              "no dose is read until the reader passes again")
            .arg(head, QString::number(wavelengthNm), QString::number(latest->id),
                 when(latest->createdAt, zone));
    const bool recent =
        lab.checkIntervalHours > 0
            ? latest->createdAt.msecsTo(now) <= lab.checkIntervalHours * 3.6e6
            : latest->createdAt.toTimeZone(zone).date() == now.toTimeZone(zone).date();
    if (!recent)
        return QStringLiteral("the last passing filter check of head %1 at %2 nm was at %3; the "
                              "lab's interval is %4: check the reader again")
            .arg(head, QString::number(wavelengthNm), when(latest->createdAt, zone),
                 lab.checkIntervalText());
    return std::nullopt;
}

bool doubtedBy(const ReaderCheck& failed, const std::vector<ReaderCheck>& checks,
               const QString& head, int wavelengthNm, const QDateTime& readAt) {
    if (failed.passed || failed.headSerial != head || failed.wavelengthNm != wavelengthNm)
        return false;
    std::optional<ReaderCheck> passing;
    for (const ReaderCheck& c : checks)
        if (c.passed && c.headSerial == head && c.wavelengthNm == wavelengthNm && c.id < failed.id)
            passing = c;
    return passing && readAt > passing->createdAt && readAt <= failed.createdAt;
}

QString checkFailedReason(const ReaderCheck& failed) {
    return QStringLiteral("reader check %1 of head %2 at %3 nm failed after this read (%4)")
        .arg(QString::number(failed.id), failed.headSerial, QString::number(failed.wavelengthNm),
             timeText(failed.createdAt));
}

QString filterResultsText(const std::vector<FilterResult>& filters) {
    QStringList parts;
    for (const FilterResult& f : filters)
        parts << Canonical(QStringLiteral("filter"))
                     .text("item", f.item)
                     .number("certified", f.certified)
                     .number("measured", f.measured)
                     .flag("pass", f.pass)
                     .finish();
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

std::vector<FilterResult> parseFilterResults(const QString& json) {
    std::vector<FilterResult> out;
    for (const auto& v : parseStoredJson(json).array()) {
        const QJsonObject o = v.toObject();
        const QJsonValue m = o.value(QStringLiteral("measured"));
        out.push_back({o.value(QStringLiteral("item")).toString(),
                       o.value(QStringLiteral("certified")).toDouble(),
                       m.isDouble() ? m.toDouble() : std::nan(""),
                       o.value(QStringLiteral("pass")).toBool()});
    }
    return out;
}

} // namespace qvr::dose
