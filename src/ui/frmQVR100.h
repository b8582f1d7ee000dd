#pragma once
// The main window: the display area, the diagnostics panel below it, the menus, and the host
// through which the reader opens its dialogs, places the window and ends the process.
// Every label shows the text of the label model; nothing else writes them.

#include "core/LabelModel.h"
#include "reader/ReaderHost.h"
#include "ui/frmAbout.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <optional>

class QAction;
class QCheckBox;
class QLabel;

namespace qvr {

class Reader;

class frmQVR100 : public QMainWindow, public ReaderHost, public WindowPlacement {
    Q_OBJECT
public:
    // simulated: the simulated card is in use, which the window says plainly.
    frmQVR100(Reader& reader, bool simulated, QWidget* parent = nullptr);
    ~frmQVR100() override;

    // ReaderHost. Where the window system keeps window positions to itself (Wayland) there
    // is no placement, so the stored position is neither applied nor overwritten.
    WindowPlacement* placement() override;
    void showBoardDialog() override;
    void showFilterCheck() override;
    void endProcess() override;

    // WindowPlacement
    QRectF frameTwips() const override;
    void moveTo(float left, float top) override;
    QSizeF screenTwips() const override;

    // Shows the About box, or brings the open one to the front.
    void mnuAbout_Click();
    frmAbout* aboutBox() const { return about_; }

    // The widget that shows a label, or nullptr for the hidden ones.
    QLabel* labelWidget(Label l) const { return labels_[static_cast<int>(l)]; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createMenus();
    void createLabels();
    void createCheckBoxes();
    void showLabels(LabelSet which);
    void showWavelengthMenu();
    QWidget* dialogParent();

    Reader& reader_;
    std::array<QLabel*, kLabelCount> labels_{};
    QAction* mnuPrimary_ = nullptr;
    QAction* mnuSecondary_ = nullptr;
    QCheckBox* chkLED_ = nullptr;
    QCheckBox* chkBuzzer_ = nullptr;
    QPointer<frmAbout> about_;
    // Where moveTo last put the frame, in pixels and in the twips asked for.
    struct Position {
        QPoint pixels;
        QPointF twips;
    };
    std::optional<Position> placed_;
};

// The client area the window opens with, and the one that uncovers the diagnostics panel.
inline constexpr int kClientWidthTwips = 2385;
inline constexpr int kClientHeightTwips = 840;
inline constexpr int kPanelBottomTwips = 6375;

} // namespace qvr
