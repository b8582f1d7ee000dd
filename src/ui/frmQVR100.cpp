#include "ui/frmQVR100.h"

#include "core/Messages.h"
#include "measure/FilterCheck.h"
#include "reader/Reader.h"
#include "ui/TwipsGeometry.h"
#include "ui/dlgPort.h"
#include "ui/frmAbout.h"
#include "ui/frmNDF.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <functional>

namespace qvr {

namespace {

struct Placed {
    Label label;
    int left, top, width, height;
};

// The shown labels and their places in twips: the display area, then the diagnostics panel
// in reading order. lblA1, lblA2, na, nb and nc have no widget.
constexpr Placed kShown[] = {
    {Label::WL, 120, 120, 1095, 375},          {Label::A, 1320, 120, 855, 255},
    {Label::Label1, 480, 2280, 1935, 255},     {Label::lblModel, 100, 2640, 900, 300},
    {Label::lblADC, 1680, 2640, 900, 300},     {Label::lblSN, 105, 3000, 900, 300},
    {Label::lblZero, 1680, 3000, 900, 300},    {Label::lblWL1, 105, 3360, 900, 300},
    {Label::lblVolt, 1680, 3360, 900, 300},    {Label::lblWL2, 105, 3720, 900, 300},
    {Label::lblPresent, 1680, 3720, 900, 300}, {Label::lblGain, 120, 4080, 900, 300},
    {Label::lblButton, 1680, 4080, 1380, 300}, {Label::lblRegGain, 120, 4440, 900, 300},
    {Label::Label2, 480, 4920, 1935, 255},     {Label::lblEEPROM, 0, 6000, 2655, 375},
};

int toPixels(float twips, const QScreen* screen) {
    // Stored positions are bounded when read; this only keeps the conversion defined.
    const float bounded = std::clamp(twips, -1.0e9f, 1.0e9f);
    return twipsToPixels(static_cast<int>(std::lround(bounded)), screen);
}

} // namespace

frmQVR100::frmQVR100(Reader& reader, bool simulated, QWidget* parent)
    : QMainWindow(parent), reader_(reader) {
    setObjectName(QStringLiteral("frmQVR100"));
    setWindowTitle(QStringLiteral("QVR100"));
    setWindowIcon(programIcon());

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFont(formFont());
    setCentralWidget(client);
    createLabels();
    createCheckBoxes();
    createMenus();

    int extra = menuBar()->heightForWidth(twipsToPixels(kClientWidthTwips, screen()));
    if (extra < 0)
        extra = menuBar()->sizeHint().height();
    if (simulated) {
        auto* marker = new QLabel(QStringLiteral("SIMULATED"), this);
        marker->setObjectName(QStringLiteral("lblSimulated"));
        marker->setAlignment(Qt::AlignCenter);
        marker->setToolTip(
            QStringLiteral("The simulated card is in use: no reader head is being read."));
        marker->setStyleSheet(QStringLiteral(
            "QLabel { background: #ffd400; color: black; font-weight: bold; padding: 1px; }"));
        statusBar()->setSizeGripEnabled(false);
        statusBar()->addWidget(marker, 1);
        extra += statusBar()->sizeHint().height();
    }
    const QSize area = twipsSize(this, kClientWidthTwips, kClientHeightTwips);
    resize(area.width(), area.height() + extra);

    connect(&reader_.labels(), &LabelModel::changed, this, &frmQVR100::showLabels);
    connect(&reader_, &Reader::wavelengthMenuChanged, this, &frmQVR100::showWavelengthMenu);
    showLabels(~LabelSet(0));
    showWavelengthMenu();
}

frmQVR100::~frmQVR100() = default;

void frmQVR100::createLabels() {
    QWidget* client = centralWidget();
    QFont display(QStringLiteral("Arial"), 12, QFont::Bold);
    for (const Placed& p : kShown) {
        auto* l = new QLabel(client);
        l->setObjectName(LabelModel::name(p.label));
        // Label texts come from the head and the card; they are never markup.
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (p.label == Label::WL || p.label == Label::A)
            l->setFont(display);
        setTwipsGeometry(l, p.left, p.top, p.width, p.height);
        labels_[static_cast<int>(p.label)] = l;
    }
}

void frmQVR100::createCheckBoxes() {
    QWidget* client = centralWidget();
    chkLED_ = new QCheckBox(QStringLiteral("LED"), client);
    chkLED_->setObjectName(QStringLiteral("chkLED"));
    setTwipsGeometry(chkLED_, 120, 5400, 1215, 495);
    chkBuzzer_ = new QCheckBox(QStringLiteral("Buzzer"), client);
    chkBuzzer_->setObjectName(QStringLiteral("chkBuzzer"));
    setTwipsGeometry(chkBuzzer_, 1560, 5400, 1215, 495);
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
    item(mnuFile, "mnuExit", 101, [this] { reader_.mnuExit_Click(); });

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

    QMenu* mnuHelpDrop = menu(menuBar()->addMenu(text(120)), "mnuHelpDrop");
    QAction* mnuHelp = item(mnuHelpDrop, "mnuHelp", 121, nullptr);
    mnuHelp->setShortcut(QKeySequence(Qt::Key_F1));
    // There is no help to show: the item is there, greyed.
    mnuHelp->setEnabled(false);
    item(mnuHelpDrop, "mnuAbout", 122, [this] { mnuAbout_Click(); });
}

void frmQVR100::showLabels(LabelSet which) {
    const LabelModel& model = reader_.labels();
    for (int i = 0; i < kLabelCount; ++i)
        if ((which & bit(static_cast<Label>(i))) && labels_[i])
            labels_[i]->setText(model.text(static_cast<Label>(i)));
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
                   dialogParent());
    dialog.exec();
}

void frmQVR100::showFilterCheck() {
    FilterCheck check(reader_.acquisition(), reader_.state(), reader_.labels());
    frmNDF dialog(check, dialogParent());
    dialog.exec();
}

void frmQVR100::mnuAbout_Click() {
    if (!about_) {
        about_ = new frmAbout(this);
        about_->setWindowIcon(windowIcon());
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
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
