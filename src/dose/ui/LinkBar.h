#pragma once
// The top bar: the reader's live absorbance, wavelength, head, film switch and zero, and its
// state in words on the state's colour.

#include "dose/usecases/CaptureSession.h"

#include <QWidget>

class QLabel;

namespace qvr::dose {

class LinkBar : public QWidget {
    Q_OBJECT
public:
    explicit LinkBar(const CaptureSession& session, QWidget* parent = nullptr);

    QString stateText() const; // whole, as its tooltip holds it
    QString filmText() const;
    QString absorbanceText() const;
    QString headText() const;
    Tone stateTone() const;

public slots:
    void refresh();

private:
    const CaptureSession& session_;
    QLabel* absorbance_;
    QLabel* wavelength_;
    QLabel* head_;
    QLabel* film_;
    QLabel* zero_;
    QLabel* state_;
    QString words_;
};

} // namespace qvr::dose
