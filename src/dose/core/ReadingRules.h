#pragma once
// When a reading from the reader may become a record: the reader serves the items that say its
// state, is reading without a fault, film is in the head, the absorbance is a number, the
// wavelength and head are those of the calibration, and a simulated head is accepted only in a
// training job.

#include "dose/core/Outcome.h"

#include <QMap>
#include <QString>
#include <QVariant>
#include <optional>

namespace qvr::dose {

// The reader's items as served (texts already unmapped), with Simulated as a boolean.
using ReaderItems = QMap<QString, QVariant>;

// Beside the reader's own items: the bus name of the process that served them. A restarted
// reader has a new one.
inline constexpr char kOwnerItem[] = "Owner";

struct ReadingContext {
    bool training = false;
    int wavelengthNm = 0;
    QString headSerial;
};

// Why the reader's state forbids a reading now (everything but the value of A), or nothing.
std::optional<QString> refusal(const ReaderItems& items, const ReadingContext& context);

// The absorbance a text of A says: " 0.512", "-0.045"; refuses "Zeroing", ">3.0", "Error".
Outcome<double> servedAbsorbance(const QString& text);

// "600 nm" -> 600; nullopt for anything else ("WL1").
std::optional<int> servedWavelength(const QString& text);

} // namespace qvr::dose
