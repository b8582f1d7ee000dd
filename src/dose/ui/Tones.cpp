#include "dose/ui/Tones.h"

#include <QWidget>

namespace qvr::dose {

QColor toneColour(Tone tone) {
    switch (tone) {
    case Tone::Good:
        return QColor(0xc8, 0xf0, 0xc8);
    case Tone::Busy:
        return QColor(0xc8, 0xdc, 0xf8);
    case Tone::Caution:
        return QColor(0xff, 0xe8, 0x90);
    case Tone::Bad:
        return QColor(0xf8, 0xb8, 0xb8);
    case Tone::Off:
        return QColor(0xdc, 0xdc, 0xdc);
    }
    return {};
}

QColor toneTextColour(Tone tone) {
    return tone == Tone::Bad ? QColor(0x80, 0, 0) : QColor(Qt::black);
}

void paintTone(QWidget* widget, Tone tone) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, toneColour(tone));
    p.setColor(QPalette::WindowText, toneTextColour(tone));
    widget->setAutoFillBackground(true);
    widget->setPalette(p);
    widget->setProperty("tone", static_cast<int>(tone));
}

} // namespace qvr::dose
