#pragma once
// Verifying the reader with certified neutral density filters: the filter check's results
// (served as na, nb, nc) against the certificate's absorbance at that wavelength.

#include "dose/core/LabSettings.h"
#include "dose/core/Signature.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <optional>
#include <vector>

namespace qvr::dose {

// The certified filter set: absorbance per filter ("na", "nb", "nc") per wavelength.
struct FilterSet {
    QString certificate;
    double tolerancePercent = 1.0;              // relative, the lab's acceptance limit
    QMap<int, QMap<QString, double>> certified; // wavelength nm -> item -> absorbance
};

struct FilterResult {
    QString item; // "na"
    double certified = 0;
    double measured = 0;
    bool pass = false;
};

struct ReaderCheck {
    qint64 id = 0;
    QString headSerial;
    int wavelengthNm = 0;
    QString certificate;
    double tolerancePercent = 0;
    std::vector<FilterResult> filters;
    bool passed = false;
    QString operatorName;
    QDateTime createdAt;
    // Who performed it; none on checks recorded before checks were signed.
    std::optional<Signature> signature = std::nullopt;

    QString canonical() const;
};

// Compares what was measured (item -> absorbance) with the certificate at the wavelength;
// every certified filter must have been measured and lie within the tolerance.
ReaderCheck compareFilters(const FilterSet& set, int wavelengthNm, const QString& headSerial,
                           const QMap<QString, double>& measured);

// Why dose readings of head at wavelength are refused at now for a job that is not training:
// no passing check within the lab's interval, or a failed check since the last passing one.
std::optional<QString> checkRefusal(const std::vector<ReaderCheck>& checks, const QString& head,
                                    int wavelengthNm, const QDateTime& now, const LabSettings& lab);

// The newest passing check of head at wavelength up to when, or nothing.
std::optional<ReaderCheck> lastPassingCheck(const std::vector<ReaderCheck>& checks,
                                            const QString& head, int wavelengthNm,
                                            const QDateTime& when);

// Whether failed casts doubt on a read of head at wavelength made at readAt: it came after the
// last passing check before failed, and before failed.
bool doubtedBy(const ReaderCheck& failed, const std::vector<ReaderCheck>& checks,
               const QString& head, int wavelengthNm, const QDateTime& readAt);

// The reason of the version a failed check adds to each read it casts doubt on.
QString checkFailedReason(const ReaderCheck& failed);

QString filterResultsText(const std::vector<FilterResult>& filters); // JSON for the store
std::vector<FilterResult> parseFilterResults(const QString& json);

} // namespace qvr::dose
