#pragma once
// How a calibration is offered in every list of the window, with its id as the item's data.

#include "dose/core/Calibration.h"

#include <QComboBox>

namespace qvr::dose {

inline void addCalibrationChoice(QComboBox& box, const Calibration& c) {
    box.addItem(QStringLiteral("%1 · batch %2 · head %3 · %4 nm")
                    .arg(c.id)
                    .arg(c.batchId, c.headSerial)
                    .arg(c.wavelengthNm),
                c.id);
}

} // namespace qvr::dose
