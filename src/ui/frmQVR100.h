#pragma once
// The main window: the display area, the diagnostics panel below it, the menus, and the host
// through which the reader opens its dialogs, places the window and ends the process.
// Every label shows the text of the label model; nothing else writes them.

#include "core/LabelModel.h"
#include "reader/ReaderHost.h"
#include "ui/frmAbout.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <optional>

class QAction;
class QDialog;
class QCheckBox;
class QLabel;
class QScrollArea;

namespace qvr {

class BarStack;
class DisplayLayout;
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
    bool offersBoardChoice() const override { return true; }
    void showFilterCheck() override;
    void endProcess() override;

    // WindowPlacement
    QRectF frameTwips() const override;
    void moveTo(float left, float top) override;
    QSizeF screenTwips() const override;

    // Shows the About box, or brings the open one to the front.
    void mnuAbout_Click();
    frmAbout* aboutBox() const { return about_; }

    // Help > Help on QVR100 software: the user guide, or the open one brought to the front.
    void mnuHelp_Click();
    QWidget* userGuide() const { return guide_; }

    // The widget that shows a label, or nullptr for the hidden ones.
    QLabel* labelWidget(Label l) const { return labels_[static_cast<int>(l)]; }
    // The area of the display and the diagnostics panel, under the bars.
    QWidget* clientArea() const { return client_; }
    // The diagnostics panel, which scrolls when the window cannot show it whole.
    QScrollArea* panelArea() const { return panelArea_; }
    // The bars that speak for the whole window (a fault, the reader's notice, the simulated
    // card).
    BarStack* bars() const { return bars_; }

    // View > Large Display: the wavelength and the absorbance fill the window, which takes
    // the size it last had in that form; turned off, the size it had before.
    void setLargeDisplay(bool on);
    bool largeDisplay() const;
    // Setup, Accept this zero as clear path: asks the user, then tells the reader.
    void mnuAcceptClearPath_Click();

    // The simulator's window, which View > Reader head simulator brings back; none on a card.
    void setSimulatorWindow(QWidget* simulator);
    // Shows it beside this window, or brings the shown one to the front. Before this window
    // is on the screen, it shows once this window is.
    void showSimulator();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    void createLabels();
    void createCheckBoxes();
    void createPanel();
    void showLabels(LabelSet which);
    void showRecord();
    // The window has been framed and shown: its outer size is known now.
    void framed();
    // Moves a dialog the window manager has put over the simulator window beside it.
    void keepDialogClear(QDialog* dialog);
    void keepDisplayWhole();
    void storeLargeSize();
    template <typename W, typename Make> void showSingle(QPointer<W>& window, Make make);
    void showWavelengthMenu();
    // The red bar while the Fault label has a text, the amber one while Notice has.
    void showFault();
    void showNotice();
    QWidget* dialogParent();

    Reader& reader_;
    const bool simulated_;
    BarStack* bars_ = nullptr;
    QWidget* client_ = nullptr;
    QScrollArea* panelArea_ = nullptr;
    QWidget* panel_ = nullptr; // every control of the client area but WL and A
    DisplayLayout* display_ = nullptr;
    std::array<QLabel*, kLabelCount> labels_{};
    QAction* mnuPrimary_ = nullptr;
    QAction* mnuSecondary_ = nullptr;
    QCheckBox* chkLED_ = nullptr;
    QCheckBox* chkBuzzer_ = nullptr;
    QLabel* faultBar_ = nullptr;
    QLabel* noticeBar_ = nullptr;
    QAction* mnuLargeDisplay_ = nullptr;
    QAction* mnuAcceptClearPath_ = nullptr;
    QSize normalSize_; // the window's size before Large Display
    QPointer<frmAbout> about_;
    QPointer<QWidget> guide_;
    QPointer<QWidget> simulator_;
    // Where moveTo last put the frame, in pixels and in the twips asked for.
    struct Position {
        QPoint pixels;
        QPointF twips;
    };
    std::optional<Position> placed_;
    bool framed_ = false;
    bool simulatorPending_ = false;
};

// The client area the window opens with, and the one that uncovers the diagnostics panel.
inline constexpr int kClientWidthTwips = 2385;
inline constexpr int kClientHeightTwips = 840;
inline constexpr int kPanelBottomTwips = 6375;

// The settings key of View > Large Display ("1" on); "Display" is the wavelength.
inline const QString kLargeDisplayKey = QStringLiteral("LargeDisplay");
// The window's size in the large form, "<width> <height>" in twips.
inline const QString kLargeDisplaySizeKey = QStringLiteral("LargeDisplaySize");

} // namespace qvr
