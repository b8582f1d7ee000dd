#pragma once
// The two forms of the main window's client area. Normal: the wavelength and the absorbance
// in 12-point type at their places, the diagnostics panel below them. Large: the wavelength
// and the absorbance fill the client area and scale with it, readable across a lab bench;
// the panel is put away.

#include <QFont>
#include <QList>
#include <QObject>
#include <QRect>

class QLabel;
class QWidget;

namespace qvr {

class DisplayLayout : public QObject {
    Q_OBJECT
public:
    // wl and a are children of client, placed for the normal form; panel holds every other
    // control of the client.
    DisplayLayout(QWidget* client, QLabel* wl, QLabel* a, QList<QWidget*> panel);

    void setLarge(bool large);
    bool isLarge() const { return large_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeLarge();
    void placeNormal();

    QWidget* client_;
    QLabel* wl_;
    QLabel* a_;
    QList<QWidget*> panel_;
    QFont normalFont_;
    QRect normalWl_;
    QRect normalA_;
    bool large_ = false;
};

} // namespace qvr
