// Pictures of the windows for the README, made by the windows themselves: the program
// starts on the quiet simulated head, takes a zero and one reading of a film, runs the
// filter check and grabs each window to PNG. Runs without a display (offscreen platform)
// and never touches the user's settings.
//
//   qvr100screenshots <output folder>

#include "core/Clock.h"
#include "core/MessageSink.h"
#include "core/Settings.h"
#include "daq/sim/SimCard.h"
#include "measure/FilterCheck.h"
#include "reader/Reader.h"
#include "ui/SimControlWindow.h"
#include "ui/Twips.h"
#include "ui/UserGuide.h"
#include "ui/dlgPort.h"
#include "ui/frmAbout.h"
#include "ui/frmNDF.h"
#include "ui/frmQVR100.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <cstdio>

using namespace qvr;

namespace {

// The pictures show one moment: the reader's timers never tick, the steps are taken by hand.
class StillClock : public Clock {
    class StillTimer : public Timer {
    public:
        void setInterval(int ms) override { interval_ = ms; }
        int interval() const override { return interval_; }
        void setEnabled(bool on) override { enabled_ = on; }
        bool isEnabled() const override { return enabled_; }

    private:
        int interval_ = 0;
        bool enabled_ = false;
    };

public:
    qint64 nowMs() const override { return 0; }
    qint64 epochMs() const override { return 1767225600000; }
    std::unique_ptr<Timer> createTimer() override { return std::make_unique<StillTimer>(); }
};

// A healthy start has no messages; any that comes is a fault of the picture.
class RefusingSink : public MessageSink {
public:
    void showMessage(const QString& text) override {
        std::fprintf(stderr, "qvr100screenshots: unexpected message: %s\n", qPrintable(text));
        failed = true;
    }
    bool failed = false;
};

bool write(const QImage& picture, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (!picture.save(path)) {
        std::fprintf(stderr, "qvr100screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool save(QWidget& w, const QDir& dir, const QString& name) {
    w.show();
    QCoreApplication::processEvents();
    return write(w.grab().toImage(), dir, name);
}

// The window with one of its tooltips showing, as the user sees it when resting the pointer on
// that control: the tooltip is a window of its own, drawn onto the picture where it stands.
bool saveWithToolTip(QWidget& window, QWidget* control, const QDir& dir, const QString& name) {
    window.show();
    QCoreApplication::processEvents();
    const QPoint pointer =
        control->mapToGlobal(QPoint(control->width() / 2, control->height() / 2));
    QToolTip::showText(pointer, control->toolTip(), control);
    QCoreApplication::processEvents();
    QWidget* tip = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->inherits("QTipLabel"))
            tip = w;
    if (!tip) {
        std::fprintf(stderr, "qvr100screenshots: no tooltip for %s\n", qPrintable(name));
        return false;
    }
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    const QRect tipRect(tip->pos() - origin, tip->size());
    const QRect all = window.rect().united(tipRect);
    QImage picture(all.size() * window.devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(window.devicePixelRatioF());
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.translate(-all.topLeft());
        p.drawPixmap(QPoint(0, 0), window.grab());
        p.drawPixmap(tipRect.topLeft(), tip->grab());
    }
    QToolTip::hideText();
    return write(picture, dir, name);
}

void click(QWidget& dialog, const char* button) {
    dialog.findChild<QPushButton*>(QLatin1String(button))->click();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qvr100screenshots <output folder>\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "qvr100screenshots: cannot create %s\n", argv[1]);
        return 1;
    }

    StillClock clock;
    sim::SimCard card(sim::Scenario::quiet());
    MemorySettings settings;
    settings.write(QStringLiteral("PCIPort"), QStringLiteral("0"));
    RefusingSink messages;
    Reader reader(clock, card, settings, messages);
    frmQVR100 window(reader, true);
    reader.Form_Load(window);

    // Zero on the empty film holder, then read a film.
    card.setFilmPresent(false);
    reader.tmrDelayZero_Timer();
    card.setFilmPresent(true);
    reader.tmrRead_Timer();
    reader.labels().flush();

    bool ok = save(window, dir, QStringLiteral("main-window.png"));

    // Zero asked for with the film in: the reader waits, and says so; then the film comes out.
    reader.mnuZero_Click();
    reader.tmrDelayZero_Timer();
    reader.labels().flush();
    ok = save(window, dir, QStringLiteral("zero-waits-for-film.png")) && ok;
    card.setFilmPresent(false);
    reader.tmrDelayZero_Timer();
    card.setFilmPresent(true);
    reader.tmrRead_Timer();
    reader.labels().flush();
    const QScreen* s = window.screen();
    window.resize(twipsToPixels(3300, s),
                  window.height() + twipsToPixels(kPanelBottomTwips - kClientHeightTwips + 120, s));
    ok = save(window, dir, QStringLiteral("diagnostics-panel.png")) && ok;
    ok = saveWithToolTip(window, window.labelWidget(Label::lblRegGain), dir,
                         QStringLiteral("diagnostics-tooltip.png")) &&
         ok;

    window.setLargeDisplay(true);
    window.resize(twipsToPixels(7200, s), twipsToPixels(3600, s));
    ok = save(window, dir, QStringLiteral("large-display.png")) && ok;
    window.setLargeDisplay(false);

    sim::SimControlWindow simulator(card);
    simulator.show(); // its content's size is known once shown
    simulator.resize(simulator.sizeHint());
    ok = save(simulator, dir, QStringLiteral("simulator-window.png")) && ok;
    simulator.close();

    dlgPort port(reader.boardSelection(), reader.driver(), reader.state(), reader.settings(),
                 nullptr, true);
    ok = save(port, dir, QStringLiteral("board-dialog.png")) && ok;
    port.cmdCancel_Click();

    card.setHolder(sim::Holder::Filter);
    FilterCheck check(reader.acquisition(), reader.state(), reader.labels(), &reader.clearPath());
    frmNDF ndf(check);
    ndf.show();
    click(ndf, "cmdZero");
    const std::pair<sim::Filter, const char*> filters[] = {
        {sim::Filter::Light, "cmdLight"},
        {sim::Filter::Medium, "cmdMedium"},
        {sim::Filter::Dark, "cmdDark"},
    };
    for (const auto& [filter, button] : filters) {
        card.setFilterInserted(filter);
        click(ndf, button);
    }
    ok = save(ndf, dir, QStringLiteral("filter-check.png")) && ok;
    ndf.accept();

    frmAbout about;
    ok = save(about, dir, QStringLiteral("about-box.png")) && ok;

    UserGuide guide;
    ok = save(guide, dir, QStringLiteral("user-guide.png")) && ok;

    reader.Form_Unload();
    return ok && !messages.failed ? 0 : 1;
}
