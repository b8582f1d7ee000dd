#pragma once
// Window coordinates are in twips (1/1440 inch); widgets work in device-independent pixels.

#include <QRect>

class QWidget;
class QScreen;

namespace qvr {

inline constexpr int kTwipsPerInch = 1440;

// Twips to pixels at the screen's logical DPI (96 when there is no screen).
int twipsToPixels(int twips, const QScreen* screen);
int pixelsToTwips(int pixels, const QScreen* screen);
QRect twipsRect(int left, int top, int width, int height, const QScreen* screen);

} // namespace qvr
