#include "ui/Twips.h"

#include <QScreen>
#include <cmath>

namespace qvr {

namespace {
double dpi(const QScreen* screen) {
    const double d = screen ? screen->logicalDotsPerInch() : 96.0;
    return d > 0 ? d : 96.0;
}
} // namespace

int twipsToPixels(int twips, const QScreen* screen) {
    return static_cast<int>(std::lround(twips * dpi(screen) / kTwipsPerInch));
}

int pixelsToTwips(int pixels, const QScreen* screen) {
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / dpi(screen)));
}

QRect twipsRect(int left, int top, int width, int height, const QScreen* screen) {
    return {twipsToPixels(left, screen), twipsToPixels(top, screen), twipsToPixels(width, screen),
            twipsToPixels(height, screen)};
}

} // namespace qvr
