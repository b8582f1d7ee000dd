#pragma once
// The two forms of the main window's client area. Normal: the wavelength and the absorbance
// in 12-point type at their places, the diagnostics panel filling the client area below them.
// Large: the wavelength and the absorbance fill the client area and scale with it, readable
// across a lab bench; the panel is put away. In either form the absorbance is never cut: its
// type shrinks for a text wider than its room.

#include <QFont>
#include <QObject>
#include <QRect>

class QLabel;
class QWidget;

namespace qvr {

class DisplayLayout : public QObject {
    Q_OBJECT
public:
    // wl and a are children of client, placed for the normal form; panel is the client's
    // other child, which takes the room below panelTop (pixels) in the normal form.
    DisplayLayout(QWidget* client, QLabel* wl, QLabel* a, QWidget* panel, int panelTop);

    void setLarge(bool large);
    bool isLarge() const { return large_; }
    // The absorbance's text changed: its type is fitted to it.
    void fitAbsorbance();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void placeLarge();
    void placeNormal();

    QWidget* client_;
    QLabel* wl_;
    QLabel* a_;
    QWidget* panel_;
    int panelTop_;
    QFont normalFont_;
    QRect normalWl_;
    QRect normalA_;
    bool large_ = false;
};

} // namespace qvr
