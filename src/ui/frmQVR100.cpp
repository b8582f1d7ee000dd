#include "ui/frmQVR100.h"

#include "core/Messages.h"
#include "core/Settings.h"
#include "link/text/LinkText.h"
#include "measure/FilterCheck.h"
#include "reader/Reader.h"
#include "ui/BarStack.h"
#include "ui/DisplayLayout.h"
#include "ui/TwipsGeometry.h"
#include "ui/UserGuide.h"
#include "ui/WindowPlacing.h"
#include "ui/dlgPort.h"
#include "ui/frmAbout.h"
#include "ui/frmNDF.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace qvr {

namespace {

struct Placed {
    Label label;
    int left, top, width, height;
    // What the label shows and in which unit, for its tooltip and its accessible name.
    const char* meaning;
};

// The shown labels and their places in twips: the display area, then the diagnostics panel
// in reading order. lblA1, lblA2, na, nb and nc have no widget.
constexpr Placed kShown[] = {
    {Label::WL, 120, 120, 1095, 375, "Selected wavelength (nm)"},
    {Label::A, 1320, 120, 855, 255, "Absorbance against the last zero"},
    {Label::Label1, 480, 2280, 1935, 255, "Diagnostics panel: values as the head reports them"},
    {Label::lblModel, 100, 2640, 900, 300, "Head model, from the head record"},
    {Label::lblADC, 1680, 2640, 900, 300, "Converter count of the last conversion (0-4095)"},
    {Label::lblSN, 105, 3000, 900, 300, "Head serial number, from the head record"},
    {Label::lblZero, 1680, 3000, 900, 300, "Zero reference (V / gain)"},
    {Label::lblWL1, 105, 3360, 900, 300, "First wavelength of the head (nm)"},
    {Label::lblVolt, 1680, 3360, 900, 300, "Detector voltage, mean of the last reading (V)"},
    {Label::lblWL2, 105, 3720, 900, 300, "Second wavelength of the head (nm)"},
    {Label::lblPresent, 1680, 3720, 900, 300, "Film switch: film in the holder or not"},
    {Label::lblGain, 120, 4080, 900, 300, "Gain in the head record"},
    {Label::lblButton, 1680, 4080, 1380, 300, "Push button on the head"},
    {Label::lblRegGain, 120, 4440, 900, 300,
     "Gain in use: the one stored for this head, else the head record's"},
    {Label::Label2, 480, 4920, 1935, 255, "LED and buzzer switches of the head"},
    {Label::lblEEPROM, 0, 6000, 2655, 375, "Head record as read from the EEPROM"},
};

int toPixels(float twips, const QScreen* screen) {
    // Stored positions are bounded when read; this only keeps the conversion defined.
    const float bounded = std::clamp(twips, -1.0e9f, 1.0e9f);
    return twipsToPixels(static_cast<int>(std::lround(bounded)), screen);
}

// A stored window size, "<width> <height>" in twips; an empty size for anything else.
QSize storedSize(const QString& text, const QScreen* screen) {
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool okW = false;
    bool okH = false;
    const int w = parts.value(0).toInt(&okW);
    const int h = parts.value(1).toInt(&okH);
    constexpr int kMostTwips = 1000000;
    if (parts.size() != 2 || !okW || !okH || w <= 0 || h <= 0 || w > kMostTwips || h > kMostTwips)
        return {};
    return {twipsToPixels(w, screen), twipsToPixels(h, screen)};
}

} // namespace

template <typename W, typename Make> void frmQVR100::showSingle(QPointer<W>& window, Make make) {
    // One at a time: a window closed by the user is deleted, and the next command makes anew.
    if (!window) {
        window = make();
        window->setWindowIcon(windowIcon());
    }
    window->show();
    window->raise();
    window->activateWindow();
}

frmQVR100::frmQVR100(Reader& reader, bool simulated, QWidget* parent)
    : QMainWindow(parent), reader_(reader), simulated_(simulated) {
    setObjectName(QStringLiteral("frmQVR100"));
    setWindowTitle(QStringLiteral("QVR100"));
    setWindowIcon(programIcon());

    // The bars above the client area, each in a space of its own.
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    bars_ = new BarStack(central);
    client_ = new QWidget(central);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFont(formFont());
    column->addWidget(bars_);
    column->addWidget(client_, 1);
    setCentralWidget(central);
    createPanel();
    createLabels();
    createCheckBoxes();
    display_ = new DisplayLayout(client_, labelWidget(Label::WL), labelWidget(Label::A), panelArea_,
                                 twipsToPixels(kClientHeightTwips, screen()));
    createMenus();

    // The fault bar, then the notice, over the SIMULATED bar; each is shown while its label
    // has a text.
    faultBar_ = bars_->addBar(QStringLiteral("lblFault"), QString(), QString(),
                              QColor(0xd0, 0x00, 0x00), Qt::white);
    // One line, cut at the window's edge (the tool tip has it all): a long driver text must
    // not widen the window.
    faultBar_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    faultBar_->hide();
    // What the user must do, or what the zero in use warns of, is read whole: it wraps.
    noticeBar_ =
        bars_->addBar(QStringLiteral("lblNotice"), QString(), QString(), QColor(0xff, 0xb3, 0x00));
    noticeBar_->setWordWrap(true);
    noticeBar_->hide();
    if (simulated)
        bars_->addBar(QStringLiteral("lblSimulated"), QStringLiteral("SIMULATED"),
                      QStringLiteral("The simulated card is in use: no reader head is being read."),
                      QColor(0xff, 0xd4, 0x00));
    const int extra = menuBar()->sizeHint().height();
    // As wide as the menu bar, so that no menu hides behind its overflow button.
    const QSize area = twipsSize(this, kClientWidthTwips, kClientHeightTwips);
    resize(std::max(area.width(), menuBar()->sizeHint().width()),
           area.height() + extra + bars_->barsHeight());
    keepDisplayWhole();
    // A bar shown later grows the window by its height, so that it takes nothing from the
    // client area; a maximised or full-screen window has no room to grow.
    connect(bars_, &BarStack::grown, this, [this](int delta) {
        // The smallest window grows first and shrinks last, so that it never moves the size.
        if (delta < 0)
            keepDisplayWhole();
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            resize(width(), height() + delta);
        if (delta > 0)
            keepDisplayWhole();
    });

    connect(&reader_.labels(), &LabelModel::changed, this, &frmQVR100::showLabels);
    connect(&reader_, &Reader::wavelengthMenuChanged, this, &frmQVR100::showWavelengthMenu);
    connect(&reader_, &Reader::zeroRefusedChanged, this,
            [this] { mnuAcceptClearPath_->setEnabled(reader_.zeroRefused()); });
    showLabels(~LabelSet(0));
    showWavelengthMenu();
    setLargeDisplay(reader_.settings().read(kLargeDisplayKey, QStringLiteral("0")) ==
                    QStringLiteral("1"));
}

void frmQVR100::showFault() {
    const QString& fault = reader_.labels().text(Label::Fault);
    faultBar_->setText(QStringLiteral("CARD FAULT: ") + fault);
    faultBar_->setToolTip(fault);
    // The stack grows the window by the bar's height and shrinks it by the same.
    faultBar_->setVisible(!fault.isEmpty());
}

void frmQVR100::keepDisplayWhole() {
    // The smallest window still shows the whole display area under its bars.
    const QSize area = twipsSize(this, kClientWidthTwips, kClientHeightTwips);
    setMinimumSize(area.width(),
                   menuBar()->sizeHint().height() + bars_->barsHeight() + area.height());
}

void frmQVR100::showNotice() {
    const QString& notice = reader_.labels().text(Label::Notice);
    noticeBar_->setText(notice);
    noticeBar_->setToolTip(notice);
    noticeBar_->setAccessibleName(notice);
    noticeBar_->setVisible(!notice.isEmpty());
    bars_->relayout();
}

frmQVR100::~frmQVR100() = default;

void frmQVR100::createPanel() {
    // Below the display area, the rest of the client area: it scrolls up and down when the
    // window (or the screen, at a large scale) is too small for it.
    panelArea_ = new QScrollArea(client_);
    panelArea_->setObjectName(QStringLiteral("panelArea"));
    panelArea_->setFrameShape(QFrame::NoFrame);
    panelArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panelArea_->setWidgetResizable(true);
    panelArea_->setBackgroundRole(QPalette::Window);
    panel_ = new QWidget;
    panel_->setObjectName(QStringLiteral("panel"));
    panel_->setMinimumHeight(twipsToPixels(kPanelBottomTwips - kClientHeightTwips + 120, screen()));
    panelArea_->setWidget(panel_);
    // Its width changes where the head record's line ends.
    panel_->installEventFilter(this);
}

void frmQVR100::createLabels() {
    QFont display(QStringLiteral("Arial"), 12, QFont::Bold);
    for (const Placed& p : kShown) {
        const bool inPanel = p.label != Label::WL && p.label != Label::A;
        auto* l = new QLabel(inPanel ? panel_ : client_);
        l->setObjectName(LabelModel::name(p.label));
        // Label texts come from the head and the card; they are never markup.
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const QString meaning = QLatin1String(p.meaning);
        l->setToolTip(meaning);
        l->setAccessibleName(meaning);
        if (!inPanel)
            l->setFont(display);
        // The panel starts where the initial client area ends.
        setTwipsGeometry(l, p.left, inPanel ? p.top - kClientHeightTwips : p.top, p.width,
                         p.height);
        labels_[static_cast<int>(p.label)] = l;
    }
}

void frmQVR100::createCheckBoxes() {
    chkLED_ = new QCheckBox(QStringLiteral("LED"), panel_);
    chkLED_->setObjectName(QStringLiteral("chkLED"));
    chkLED_->setToolTip(QStringLiteral("Switches the head's LED on and off by hand"));
    setTwipsGeometry(chkLED_, 120, 5400 - kClientHeightTwips, 1215, 495);
    chkBuzzer_ = new QCheckBox(QStringLiteral("Buzzer"), panel_);
    chkBuzzer_->setObjectName(QStringLiteral("chkBuzzer"));
    chkBuzzer_->setToolTip(QStringLiteral("Switches the head's buzzer on and off by hand"));
    setTwipsGeometry(chkBuzzer_, 1560, 5400 - kClientHeightTwips, 1215, 495);
    // The boxes follow the user only: nothing else ticks or unticks them.
    connect(chkLED_, &QCheckBox::toggled, this, [this](bool on) { reader_.chkLED_Click(on); });
    connect(chkBuzzer_, &QCheckBox::toggled, this,
            [this](bool on) { reader_.chkBuzzer_Click(on); });
}

void frmQVR100::createMenus() {
    auto menu = [](QMenu* m, const char* name) {
        m->setObjectName(QLatin1String(name));
        return m;
    };
    auto item = [this](QMenu* m, const char* name, int textId, std::function<void()> command) {
        QAction* a = m->addAction(text(textId));
        a->setObjectName(QLatin1String(name));
        if (command)
            connect(a, &QAction::triggered, this, std::move(command));
        return a;
    };

    QMenu* mnuFile = menu(menuBar()->addMenu(text(100)), "mnuFile");
    item(mnuFile, "mnuExit", 101, [this] {
        reader_.mnuExit_Click();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* mnuSetup = menu(menuBar()->addMenu(text(110)), "mnuSetup");
    item(mnuSetup, "mnuNDF", 113, [this] {
        reader_.mnuNDF_Click();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    item(mnuSetup, "mnuZero", 114, [this] {
        reader_.mnuZero_Click();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    // Usable only while a zero is refused as darker than the head's clear path.
    mnuAcceptClearPath_ =
        item(mnuSetup, "mnuAcceptClearPath", 1014, [this] { mnuAcceptClearPath_Click(); });
    mnuAcceptClearPath_->setEnabled(reader_.zeroRefused());
    mnuSetup->addSeparator()->setObjectName(QStringLiteral("mnuSeparator"));
    QMenu* mnuDisplay = menu(mnuSetup->addMenu(text(115)), "mnuDisplay");
    // Qt toggles the mark on the click; the reader's menu state decides it instead.
    mnuPrimary_ = item(mnuDisplay, "mnuPrimary", 116, [this] {
        reader_.mnuPrimary_Click();
        showWavelengthMenu();
    });
    mnuSecondary_ = item(mnuDisplay, "mnuSecondary", 119, [this] {
        reader_.mnuSecondary_Click();
        showWavelengthMenu();
    });
    mnuPrimary_->setCheckable(true);
    mnuSecondary_->setCheckable(true);
    item(mnuSetup, "mnuPort", 118, [this] { reader_.mnuPort_Click(); });

    QMenu* mnuView = menu(menuBar()->addMenu(QStringLiteral("&View")), "mnuView");
    mnuLargeDisplay_ = mnuView->addAction(QStringLiteral("&Large Display"));
    mnuLargeDisplay_->setObjectName(QStringLiteral("mnuLargeDisplay"));
    mnuLargeDisplay_->setCheckable(true);
    mnuLargeDisplay_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(mnuLargeDisplay_, &QAction::triggered, this, [this](bool on) {
        setLargeDisplay(on);
        if (!reader_.settings().write(kLargeDisplayKey,
                                      on ? QStringLiteral("1") : QStringLiteral("0")))
            qWarning("QVR100PCI: could not store the setting %s", qPrintable(kLargeDisplayKey));
    });
    if (simulated_) {
        QAction* sim = mnuView->addAction(QStringLiteral("Reader head &simulator"));
        sim->setObjectName(QStringLiteral("mnuSimulator"));
        connect(sim, &QAction::triggered, this, &frmQVR100::showSimulator);
    }

    QMenu* mnuHelpDrop = menu(menuBar()->addMenu(text(120)), "mnuHelpDrop");
    item(mnuHelpDrop, "mnuHelp", 121, [this] {
        mnuHelp_Click();
    })->setShortcut(QKeySequence(Qt::Key_F1));
    item(mnuHelpDrop, "mnuAbout", 122, [this] { mnuAbout_Click(); });
}

void frmQVR100::showLabels(LabelSet which) {
    const LabelModel& model = reader_.labels();
    for (int i = 0; i < kLabelCount; ++i)
        if ((which & bit(static_cast<Label>(i))) && labels_[i])
            labels_[i]->setText(model.text(static_cast<Label>(i)));
    if (which & bit(Label::Fault))
        showFault();
    if (which & bit(Label::Notice))
        showNotice();
    if (which & bit(Label::lblEEPROM))
        showRecord();
    if (which & bit(Label::A))
        display_->fitAbsorbance();
}

void frmQVR100::showRecord() {
    // The record is longer than its line: the line ends in an ellipsis where the panel ends,
    // on screen only (the link serves the model's text), and the tooltip shows the record
    // whole. It reads as a linked client reads it.
    QLabel* line = labelWidget(Label::lblEEPROM);
    // The panel's width, which its area gives it only once shown.
    const QScrollBar* bar = panelArea_->verticalScrollBar();
    const int room = panelArea_->width() - (bar->isVisible() ? bar->width() : 0);
    line->resize(std::max(1, room - line->x()), line->height());
    const QString whole = toLinkText(reader_.labels().text(Label::lblEEPROM));
    line->setText(line->fontMetrics().elidedText(whole, Qt::ElideRight, line->width()));
    line->setAccessibleDescription(whole);
    line->setToolTip(QStringLiteral("<p style='white-space:pre'>%1:<br><tt>%2</tt></p>")
                         .arg(line->accessibleName(), whole.toHtmlEscaped()));
}

void frmQVR100::setLargeDisplay(bool on) {
    mnuLargeDisplay_->setChecked(on);
    if (on == largeDisplay())
        return;
    if (on)
        normalSize_ = size();
    else
        storeLargeSize();
    display_->setLarge(on);
    const QSize large =
        storedSize(reader_.settings().read(kLargeDisplaySizeKey, QString()), screen());
    if (on && large.isValid())
        resize(large);
    else if (!on && normalSize_.isValid())
        resize(normalSize_);
}

void frmQVR100::storeLargeSize() {
    if (!largeDisplay())
        return;
    const QString text = QStringLiteral("%1 %2")
                             .arg(pixelsToTwips(width(), screen()))
                             .arg(pixelsToTwips(height(), screen()));
    if (!reader_.settings().write(kLargeDisplaySizeKey, text))
        qWarning("QVR100PCI: could not store the setting %s", qPrintable(kLargeDisplaySizeKey));
}

void frmQVR100::mnuAcceptClearPath_Click() {
    QMessageBox ask(QMessageBox::Question, kAppTitle, text(1015),
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setWindowModality(Qt::WindowModal);
    ask.setDefaultButton(QMessageBox::No);
    reader_.noteModal(true);
    const int answer = ask.exec();
    reader_.noteModal(false);
    if (answer == QMessageBox::Yes)
        reader_.mnuAcceptClearPath_Click();
}

bool frmQVR100::largeDisplay() const {
    return display_->isLarge();
}

void frmQVR100::setSimulatorWindow(QWidget* simulator) {
    simulator_ = simulator;
    // The reader's dialogs and messages keep off the simulator's controls, which the user
    // works while they wait.
    if (simulator)
        qApp->installEventFilter(this);
}

void frmQVR100::showSimulator() {
    if (!simulator_)
        return;
    if (!framed_) {
        // Beside this window's frame, which is known only once the window manager has framed
        // the window and shown it.
        simulatorPending_ = true;
        return;
    }
    if (!simulator_->isVisible()) {
        // Its content's size, known only once shown, before the placing makes it smaller to
        // fit beside this window.
        simulator_->show();
        if (const QSize content = simulator_->sizeHint(); content.isValid())
            simulator_->resize(content);
        placeBeside(*simulator_, *this);
    }
    simulator_->raise();
}

void frmQVR100::mnuHelp_Click() {
    showSingle(guide_, [this] { return new UserGuide(this); });
}

void frmQVR100::showWavelengthMenu() {
    const WavelengthMenu& m = reader_.wavelengthMenu();
    mnuPrimary_->setText(m.primaryCaption);
    mnuSecondary_->setText(m.secondaryCaption);
    mnuPrimary_->setChecked(m.primaryChecked);
    mnuSecondary_->setChecked(m.secondaryChecked);
}

QWidget* frmQVR100::dialogParent() {
    // During start-up the window is not shown yet; its dialogs then stand on their own.
    return isVisible() ? this : nullptr;
}

void frmQVR100::showBoardDialog() {
    dlgPort dialog(reader_.boardSelection(), reader_.driver(), reader_.state(), reader_.settings(),
                   dialogParent(), simulated_,
                   [this](std::int16_t board) { return reader_.claim(board); });
    dialog.exec();
}

void frmQVR100::showFilterCheck() {
    FilterCheck check(reader_.acquisition(), reader_.state(), reader_.labels(),
                      &reader_.clearPath());
    frmNDF dialog(check, dialogParent());
    dialog.exec();
}

void frmQVR100::mnuAbout_Click() {
    showSingle(about_, [this] { return new frmAbout(this); });
}

void frmQVR100::endProcess() {
    storeLargeSize();
    // Every window goes, also an open About box, a dialog or a message box; leaving all event
    // loops returns from nested dialogs as well as from the main loop.
    QList<QPointer<QWidget>> open;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            open.append(w);
    for (const QPointer<QWidget>& w : open)
        if (w)
            w->close();
    // With no loop running there is nothing to leave, and a quit asked for then would end
    // the next loop as soon as it started.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void frmQVR100::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!framed_)
        windowHandle()->installEventFilter(this);
}

bool frmQVR100::eventFilter(QObject* watched, QEvent* event) {
    QWindow* own = windowHandle();
    if (watched == own && event->type() == QEvent::Expose && own->isExposed() && !framed_) {
        own->removeEventFilter(this);
        framed();
    } else if (watched == panel_ && event->type() == QEvent::Resize) {
        showRecord();
    } else if ((event->type() == QEvent::Show || event->type() == QEvent::Move) && simulator_ &&
               simulator_->isVisible()) {
        keepDialogClear(qobject_cast<QDialog*>(watched));
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmQVR100::keepDialogClear(QDialog* dialog) {
    // Where the window manager put it is known only once it has framed it, which moves it (a
    // message box takes its size only as it shows): placed then, once, and left to the user.
    static const char* const kPlaced = "qvrClearOfSimulator";
    if (!dialog || !dialog->isWindow() || !dialog->isVisible() ||
        dialog->property(kPlaced).toBool() || dialog->frameGeometry() == dialog->geometry())
        return;
    dialog->setProperty(kPlaced, true);
    keepClearOf(*dialog, *simulator_);
}

void frmQVR100::framed() {
    framed_ = true;
    // The on-screen rule of start-up, now with the window's outer size.
    reader_.keepOnScreen();
    if (std::exchange(simulatorPending_, false))
        showSimulator();
}

void frmQVR100::closeEvent(QCloseEvent* event) {
    // Shut-down cannot be refused; when it has already run this is its own closing.
    reader_.Form_Unload();
    event->accept();
}

WindowPlacement* frmQVR100::placement() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ? nullptr : this;
}

QRectF frmQVR100::frameTwips() const {
    const QRect f = frameGeometry();
    const QScreen* s = screen();
    QRectF twips(pixelsToTwips(f.x(), s), pixelsToTwips(f.y(), s), pixelsToTwips(f.width(), s),
                 pixelsToTwips(f.height(), s));
    // A pixel is 15 twips at 96 dpi: a window left where it was put keeps the exact twips it
    // was put at, so that an unmoved window does not creep by a rounding at every start.
    if (placed_ && f.topLeft() == placed_->pixels)
        twips.moveTopLeft(placed_->twips);
    return twips;
}

void frmQVR100::moveTo(float left, float top) {
    const QScreen* s = screen();
    const QPoint pixels(toPixels(left, s), toPixels(top, s));
    move(pixels);
    placed_ = Position{pixels, QPointF(left, top)};
}

QSizeF frmQVR100::screenTwips() const {
    const QScreen* s = screen();
    if (!s)
        return {};
    const QSize size = s->geometry().size();
    return QSizeF(pixelsToTwips(size.width(), s), pixelsToTwips(size.height(), s));
}

} // namespace qvr
