#pragma once
// The colours of the workstation's tones: the same green, amber, red and grey everywhere.

#include "dose/core/LinkState.h"

#include <QColor>

class QWidget;

namespace qvr::dose {

QColor toneColour(Tone tone);     // a light background
QColor toneTextColour(Tone tone); // text on that background
void paintTone(QWidget* widget, Tone tone);

} // namespace qvr::dose
