#pragma once
// The About box: modeless, deleted when closed so that the next showing loads it afresh.
// OK is both the default and the cancel button: Enter and Esc close it.

#include <QDialog>

namespace qvr {

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The program's own icon, 32 x 32 pixels.
QIcon programIcon();

} // namespace qvr
