#include "measure/ClearPath.h"

#include "core/Clock.h"
#include "core/NumberText.h"
#include "core/Settings.h"

#include <QDateTime>
#include <QStringList>
#include <cmath>
#include <cstdio>

namespace qvr {

namespace {

// "1.0526 2026-01-01T08:00:00Z"; anything else is no reference (the next zero replaces it).
QString referenceText(double zero, qint64 takenMs) {
    return storedNumberText(zero) + QLatin1Char(' ') +
           QDateTime::fromMSecsSinceEpoch(takenMs, Qt::UTC).toString(Qt::ISODate);
}

bool readReference(const QString& text, double& zero, qint64& takenMs) {
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 2)
        return false;
    const std::optional<double> z = storedNumber(parts[0]);
    const QDateTime taken = QDateTime::fromString(parts[1], Qt::ISODate);
    if (!z || !std::isfinite(*z) || !taken.isValid())
        return false;
    zero = *z;
    takenMs = taken.toMSecsSinceEpoch();
    return true;
}

} // namespace

ClearPath::ClearPath(SettingsStore& settings, const Clock& clock)
    : settings_(settings), clock_(clock) {}

QString ClearPath::key(const QString& serial, const QString& wavelength) {
    return QStringLiteral("ClearZero%1_%2").arg(serial, wavelength);
}

void ClearPath::select(const QString& serial, const QString& wavelength, bool stored) {
    // The default head's serial may be a real head's too: its references stay apart.
    key_ = (stored ? QString() : QStringLiteral("unstored:")) + key(serial, wavelength);
    stored_ = stored;
    Reference r;
    if (stored && !known_.contains(key_) &&
        readReference(settings_.read(key_, {}), r.zero, r.takenMs))
        known_.insert(key_, r);
}

std::optional<double> ClearPath::darkness(double zero) const {
    const auto it = known_.constFind(key_);
    if (key_.isEmpty() || it == known_.cend() || clock_.epochMs() - it->takenMs >= kClearPathAgeMs)
        return std::nullopt;
    const double darker = it->zero - zero;
    if (darker > kClearPathLimit)
        return darker;
    return std::nullopt;
}

void ClearPath::keep(double zero) {
    if (key_.isEmpty())
        return;
    const Reference r{zero, clock_.epochMs()};
    known_.insert(key_, r);
    if (stored_ && !settings_.write(key_, referenceText(zero, r.takenMs)))
        std::fprintf(stderr, "QVR100PCI: could not store the setting %s\n", qPrintable(key_));
}

} // namespace qvr
