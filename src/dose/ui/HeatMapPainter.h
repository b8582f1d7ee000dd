#pragma once
// Paints a study's heat maps: each layer's grid of measured positions side by side (wrapping
// to the width), then the colour scale with its values and a key to the marks. The window and
// the study PDF paint the same way.

#include "dose/core/MappingMap.h"

#include <QFont>
#include <QImage>

class QPainter;

namespace qvr::dose {

// The height the maps need at this width.
double heatMapsHeight(const MappingMap& map, const QFont& font, double width);
void paintHeatMaps(QPainter& painter, const MappingMap& map, const QFont& font, double width);
// For a document: the maps at width logical pixels, drawn at scale device pixels per pixel.
QImage heatMapsImage(const MappingMap& map, const QFont& font, double width, double scale);

} // namespace qvr::dose
