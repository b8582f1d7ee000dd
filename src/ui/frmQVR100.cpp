#include "ui/frmQVR100.h"

#include "core/Messages.h"
#include "core/Settings.h"
#include "measure/FilterCheck.h"
#include "reader/Reader.h"
#include "ui/BarStack.h"
#include "ui/DisplayLayout.h"
#include "ui/PrintableText.h"
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
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>

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
    createLabels();
    createCheckBoxes();
    display_ = new DisplayLayout(client_, labelWidget(Label::WL), labelWidget(Label::A), panel_);
    createMenus();

    // The fault bar over the SIMULATED bar; it is shown while the Fault label has a text.
    faultBar_ = bars_->addBar(QStringLiteral("lblFault"), QString(), QString(),
                              QColor(0xd0, 0x00, 0x00), Qt::white);
    // One line, cut at the window's edge (the tool tip has it all): a long driver text must
    // not widen the window.
    faultBar_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    faultBar_->hide();
    if (simulated)
        bars_->addBar(QStringLiteral("lblSimulated"), QStringLiteral("SIMULATED"),
                      QStringLiteral("The simulated card is in use: no reader head is being read."),
                      QColor(0xff, 0xd4, 0x00));
    const int extra = menuBar()->sizeHint().height();
    // As wide as the menu bar, so that no menu hides behind its overflow button.
    const QSize area = twipsSize(this, kClientWidthTwips, kClientHeightTwips);
    resize(std::max(area.width(), menuBar()->sizeHint().width()),
           area.height() + extra + bars_->barsHeight());
    // A bar shown later grows the window by its height, so that it takes nothing from the
    // client area; a maximised or full-screen window has no room to grow.
    connect(bars_, &BarStack::grown, this, [this](int delta) {
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            resize(width(), height() + delta);
    });

    connect(&reader_.labels(), &LabelModel::changed, this, &frmQVR100::showLabels);
    connect(&reader_, &Reader::wavelengthMenuChanged, this, &frmQVR100::showWavelengthMenu);
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

frmQVR100::~frmQVR100() = default;

void frmQVR100::createLabels() {
    QFont display(QStringLiteral("Arial"), 12, QFont::Bold);
    for (const Placed& p : kShown) {
        auto* l = new QLabel(client_);
        l->setObjectName(LabelModel::name(p.label));
        // Label texts come from the head and the card; they are never markup.
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const QString meaning = QLatin1String(p.meaning);
        l->setToolTip(meaning);
        l->setAccessibleName(meaning);
        if (p.label == Label::WL || p.label == Label::A)
            l->setFont(display);
        else
            panel_.append(l);
        setTwipsGeometry(l, p.left, p.top, p.width, p.height);
        labels_[static_cast<int>(p.label)] = l;
    }
}

void frmQVR100::createCheckBoxes() {
    chkLED_ = new QCheckBox(QStringLiteral("LED"), client_);
    chkLED_->setObjectName(QStringLiteral("chkLED"));
    chkLED_->setToolTip(QStringLiteral("Switches the head's LED on and off by hand"));
    setTwipsGeometry(chkLED_, 120, 5400, 1215, 495);
    chkBuzzer_ = new QCheckBox(QStringLiteral("Buzzer"), client_);
    chkBuzzer_->setObjectName(QStringLiteral("chkBuzzer"));
    chkBuzzer_->setToolTip(QStringLiteral("Switches the head's buzzer on and off by hand"));
    setTwipsGeometry(chkBuzzer_, 1560, 5400, 1215, 495);
    panel_ << chkLED_ << chkBuzzer_;
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
    if (which & bit(Label::lblEEPROM))
        showRecord();
}

void frmQVR100::showRecord() {
    // The record is longer than its line: the line ends in an ellipsis, on screen only (the
    // link serves the model's text), and the tooltip shows the record whole.
    QLabel* line = labelWidget(Label::lblEEPROM);
    const QString whole = printableText(reader_.labels().text(Label::lblEEPROM));
    line->setText(line->fontMetrics().elidedText(whole, Qt::ElideRight, line->width()));
    line->setAccessibleDescription(whole);
    line->setToolTip(QStringLiteral("<p style='white-space:pre'>%1:<br><tt>%2</tt></p>")
                         .arg(line->accessibleName(), whole.toHtmlEscaped()));
}

void frmQVR100::setLargeDisplay(bool on) {
    display_->setLarge(on);
    mnuLargeDisplay_->setChecked(on);
}

bool frmQVR100::largeDisplay() const {
    return display_->isLarge();
}

void frmQVR100::setSimulatorWindow(QWidget* simulator) {
    simulator_ = simulator;
}

void frmQVR100::showSimulator() {
    if (!simulator_)
        return;
    QWindow* own = windowHandle();
    if (own && !own->isExposed()) {
        // Beside this window's frame, which is known only once the window manager has framed
        // the window and shown it.
        own->installEventFilter(this);
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
                   dialogParent(), simulated_);
    dialog.exec();
}

void frmQVR100::showFilterCheck() {
    FilterCheck check(reader_.acquisition(), reader_.state(), reader_.labels());
    frmNDF dialog(check, dialogParent());
    dialog.exec();
}

void frmQVR100::mnuAbout_Click() {
    showSingle(about_, [this] { return new frmAbout(this); });
}

void frmQVR100::endProcess() {
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

bool frmQVR100::eventFilter(QObject* watched, QEvent* event) {
    QWindow* own = windowHandle();
    if (watched == own && event->type() == QEvent::Expose && own->isExposed()) {
        own->removeEventFilter(this);
        showSimulator();
    }
    return QMainWindow::eventFilter(watched, event);
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
