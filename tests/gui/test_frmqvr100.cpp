// The main window over the reader: menus, check marks, the labels, the commands' dialogs,
// shut-down and the window position.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "ReadingScript.h"
#include "RecordingMessageSink.h"

#include "app/Messages.h"
#include "app/Reader.h"
#include "app/Settings.h"
#include "app/Timer.h"
#include "app/Twips.h"
#include "app/frmQVR100.h"
#include "dialogs/dlgPort.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmNDF.h"
#include "head/HeadLines.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

const QString kDas08 = QStringLiteral("PCI-DAS08");

struct Rig {
    explicit Rig(bool simulated = false, const QString& display = QStringLiteral("Primary"))
        : reader(clock, driver, settings, messages), window(reader, simulated) {
        driver.logAnalog = false;
        driver.count = 3276; // 3 V: a clear light path, no zero caution
        driver.boards = {{0, {41, kDas08}}};
        settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
        settings.values_[QStringLiteral("Display")] = display;
    }
    void start() {
        reader.Form_Load(window);
        reader.labels().flush();
    }
    QAction* action(const char* name) { return window.findChild<QAction*>(QLatin1String(name)); }
    QMenu* menu(const char* name) { return window.findChild<QMenu*>(QLatin1String(name)); }
    QList<int> writes() const { return driver.doutValues(); }

    ManualClock clock;
    FakeDriver driver;
    MemorySettings settings;
    RecordingMessageSink messages;
    Reader reader;
    frmQVR100 window;
};

QStringList captions(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// Runs f inside the next modal dialog's own event loop, once it is shown.
template <typename Dialog, typename F> void whenShown(QObject* context, F f) {
    QTimer::singleShot(0, context, [f] {
        auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY2(d, "the expected dialog is not the modal window");
        f(*d);
    });
}

} // namespace

class TestFrmQVR100 : public QObject {
    Q_OBJECT
private slots:
    void menuTree_data();
    void menuTree();
    void menuOrder();
    void checkMarks_data();
    void checkMarks();
    void panelLabels_data();
    void panelLabels();
    void displayArea();
    void simulatedMarker_data();
    void simulatedMarker();
    void checkBoxesSwitchTheLines_data();
    void checkBoxesSwitchTheLines();
    void filterCheckCommand();
    void portCommandKeepsReading();
    void aboutTwiceShowsOneBox();
    void shutDown_data();
    void shutDown();
    void positionStoredAndRestored_data();
    void positionStoredAndRestored();
    void movedWindowStoresWhereItIs();
};

void TestFrmQVR100::menuTree_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<bool>("enabled");
    const QKeySequence none;
    QTest::newRow("File") << "mnuFile"
                          << "&File" << none << true;
    QTest::newRow("Exit") << "mnuExit"
                          << "E&xit" << none << true;
    QTest::newRow("Setup") << "mnuSetup"
                           << "&Setup" << none << true;
    QTest::newRow("filter check") << "mnuNDF"
                                  << "&Neutral Density Filter Check"
                                  << QKeySequence(Qt::CTRL | Qt::Key_N) << true;
    QTest::newRow("Zero") << "mnuZero"
                          << "&Zero" << QKeySequence(Qt::CTRL | Qt::Key_Z) << true;
    QTest::newRow("Wavelength") << "mnuDisplay"
                                << "&Wavelength" << none << true;
    QTest::newRow("first wavelength") << "mnuPrimary"
                                      << "510 nm" << none << true;
    QTest::newRow("second wavelength") << "mnuSecondary"
                                       << "600 nm" << none << true;
    QTest::newRow("Port") << "mnuPort"
                          << "&Port" << none << true;
    QTest::newRow("Help menu") << "mnuHelpDrop"
                               << "&Help" << none << true;
    QTest::newRow("Help, greyed") << "mnuHelp"
                                  << "&Help on QVR100 software" << QKeySequence(Qt::Key_F1)
                                  << false;
    QTest::newRow("About") << "mnuAbout"
                           << "&About QVR100 software" << none << true;
}

void TestFrmQVR100::menuTree() {
    QFETCH(QString, item);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);
    QFETCH(bool, enabled);
    Rig rig;
    rig.start();
    QAction* a = nullptr;
    if (auto* m = rig.window.findChild<QMenu*>(item))
        a = m->menuAction();
    else
        a = rig.window.findChild<QAction*>(item);
    QVERIFY2(a, qPrintable(item));
    QCOMPARE(a->text(), caption);
    QCOMPARE(a->shortcut(), shortcut);
    QCOMPARE(a->isEnabled(), enabled);
}

void TestFrmQVR100::menuOrder() {
    Rig rig;
    rig.start();
    QCOMPARE(captions(rig.window.menuBar()->actions()), (QStringList{"&File", "&Setup", "&Help"}));
    QCOMPARE(captions(rig.menu("mnuFile")->actions()), QStringList{"E&xit"});
    QCOMPARE(captions(rig.menu("mnuSetup")->actions()),
             (QStringList{"&Neutral Density Filter Check", "&Zero", "-", "&Wavelength", "&Port"}));
    QCOMPARE(captions(rig.menu("mnuDisplay")->actions()), (QStringList{"510 nm", "600 nm"}));
    QCOMPARE(captions(rig.menu("mnuHelpDrop")->actions()),
             (QStringList{"&Help on QVR100 software", "&About QVR100 software"}));
}

void TestFrmQVR100::checkMarks_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("commands"); // P: first wavelength, S: second
    QTest::addColumn<QString>("marks");    // after start-up, then after each command
    QTest::newRow("stored Primary") << "Primary"
                                    << "SPP"
                                    << "PSPP";
    QTest::newRow("stored Secondary") << "Secondary"
                                      << "SSP"
                                      << "SSSP";
    QTest::newRow("anything else is Secondary") << "primary"
                                                << "P"
                                                << "SP";
}

void TestFrmQVR100::checkMarks() {
    QFETCH(QString, display);
    QFETCH(QString, commands);
    QFETCH(QString, marks);
    Rig rig(false, display);
    rig.start();
    auto mark = [&rig] {
        const bool p = rig.action("mnuPrimary")->isChecked();
        const bool s = rig.action("mnuSecondary")->isChecked();
        return p && !s ? QLatin1Char('P') : s && !p ? QLatin1Char('S') : QLatin1Char('?');
    };
    QString seen(mark());
    for (QChar c : commands) {
        // Choosing the checked item again keeps its mark (and takes a new zero).
        rig.action(c == QLatin1Char('P') ? "mnuPrimary" : "mnuSecondary")->trigger();
        seen += mark();
        QVERIFY(rig.reader.tmrDelayZero().isEnabled());
    }
    QCOMPARE(seen, marks);
    rig.reader.labels().flush();
    QCOMPARE(rig.window.labelWidget(Label::WL)->text(), marks.endsWith(QLatin1Char('P'))
                                                            ? QStringLiteral("510 nm")
                                                            : QStringLiteral("600 nm"));
}

void TestFrmQVR100::panelLabels_data() {
    QTest::addColumn<int>("label");
    QTest::addColumn<QRect>("twips");
    const auto row = [](Label l, int left, int top, int width, int height) {
        QTest::newRow(qPrintable(LabelModel::name(l))) << int(l) << QRect(left, top, width, height);
    };
    row(Label::WL, 120, 120, 1095, 375);
    row(Label::A, 1320, 120, 855, 255);
    row(Label::Label1, 480, 2280, 1935, 255);
    row(Label::lblModel, 100, 2640, 900, 300);
    row(Label::lblADC, 1680, 2640, 900, 300);
    row(Label::lblSN, 105, 3000, 900, 300);
    row(Label::lblZero, 1680, 3000, 900, 300);
    row(Label::lblWL1, 105, 3360, 900, 300);
    row(Label::lblVolt, 1680, 3360, 900, 300);
    row(Label::lblWL2, 105, 3720, 900, 300);
    row(Label::lblPresent, 1680, 3720, 900, 300);
    row(Label::lblGain, 120, 4080, 900, 300);
    row(Label::lblButton, 1680, 4080, 1380, 300);
    row(Label::lblRegGain, 120, 4440, 900, 300);
    row(Label::Label2, 480, 4920, 1935, 255);
    row(Label::lblEEPROM, 0, 6000, 2655, 375);
}

void TestFrmQVR100::panelLabels() {
    QFETCH(int, label);
    QFETCH(QRect, twips);
    Rig rig;
    const auto l = static_cast<Label>(label);
    QLabel* w = rig.window.labelWidget(l);
    QVERIFY(w);
    QCOMPARE(w->objectName(), LabelModel::name(l));
    QCOMPARE(w->geometry(),
             twipsRect(twips.x(), twips.y(), twips.width(), twips.height(), rig.window.screen()));
    QCOMPARE(w->text(), LabelModel::initialText(l));

    rig.reader.labels().set(l, QStringLiteral("<i>new</i> & text"));
    QCoreApplication::processEvents(); // the model tells its observers on the event loop
    QCOMPARE(w->text(), QStringLiteral("<i>new</i> & text"));
    QCOMPARE(w->textFormat(), Qt::PlainText);
}

void TestFrmQVR100::displayArea() {
    Rig rig;
    rig.start();
    rig.window.show();
    const QScreen* s = rig.window.screen();
    QCOMPARE(rig.window.windowTitle(), QStringLiteral("QVR100"));
    QCOMPARE(rig.window.centralWidget()->size(),
             QSize(twipsToPixels(kClientWidthTwips, s), twipsToPixels(kClientHeightTwips, s)));
    for (Label l : {Label::WL, Label::A}) {
        const QFont f = rig.window.labelWidget(l)->font();
        QCOMPARE(f.family(), QStringLiteral("Arial"));
        QVERIFY(f.bold());
        QCOMPARE(f.pointSize(), 12);
    }
    // The panel lies below the initial area, uncovered by enlarging the window.
    QVERIFY(rig.window.labelWidget(Label::Label1)->visibleRegion().isEmpty());
    QCOMPARE(rig.window.labelWidget(Label::A)->text(), QStringLiteral("Zeroing"));
    QCOMPARE(rig.window.labelWidget(Label::WL)->text(), QStringLiteral("510 nm"));
    rig.window.resize(rig.window.width(), rig.window.height() + twipsToPixels(6000, s));
    QVERIFY(!rig.window.labelWidget(Label::lblEEPROM)->visibleRegion().isEmpty());
}

void TestFrmQVR100::simulatedMarker_data() {
    QTest::addColumn<bool>("simulated");
    QTest::newRow("simulated card") << true;
    QTest::newRow("real card") << false;
}

void TestFrmQVR100::simulatedMarker() {
    QFETCH(bool, simulated);
    Rig rig(simulated);
    rig.start();
    rig.window.show();
    auto* marker = rig.window.findChild<QLabel*>(QStringLiteral("lblSimulated"));
    QCOMPARE(marker != nullptr, simulated);
    if (simulated) {
        QCOMPARE(marker->text(), QStringLiteral("SIMULATED"));
        QVERIFY(marker->isVisible());
    }
    // The client area is the same either way.
    QCOMPARE(rig.window.centralWidget()->height(),
             twipsToPixels(kClientHeightTwips, rig.window.screen()));
}

void TestFrmQVR100::checkBoxesSwitchTheLines_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("bit");
    QTest::newRow("LED") << "chkLED" << int(kLedBit);
    QTest::newRow("Buzzer") << "chkBuzzer" << int(kBuzzerBit);
}

void TestFrmQVR100::checkBoxesSwitchTheLines() {
    QFETCH(QString, box);
    QFETCH(int, bit);
    Rig rig;
    rig.start();
    auto* check = rig.window.findChild<QCheckBox*>(box);
    QVERIFY(check && !check->isChecked());
    rig.driver.clearLog();
    check->click();
    QCOMPARE(rig.writes().size(), 1);
    QVERIFY(rig.writes().last() & bit);
    check->click();
    QCOMPARE(rig.writes().size(), 2);
    QVERIFY(!(rig.writes().last() & bit));

    // Other writers of the line leave the box alone.
    check->click();
    rig.action("mnuSecondary")->trigger();
    rig.clock.advance(1000);
    QVERIFY(check->isChecked());
}

void TestFrmQVR100::filterCheckCommand() {
    Rig rig;
    rig.start();
    rig.clock.advance(kDelayZeroMs); // zeroed, reading
    QVERIFY(rig.reader.tmrRead().isEnabled());
    rig.reader.state().rdrGain = 2.5;
    bool dialogRan = false;
    rig.messages.whileShown = [&](const QString& shown) {
        if (shown != text(309))
            return;
        QVERIFY(!rig.reader.tmrRead().isEnabled());
        whenShown<frmNDF>(this, [&](frmNDF& ndf) {
            dialogRan = true;
            QVERIFY(!rig.reader.tmrRead().isEnabled());
            scriptReading(rig.driver, 3.0);
            ndf.findChild<QPushButton*>(QStringLiteral("cmdZero"))->click();
            scriptReading(rig.driver, 1.0);
            ndf.findChild<QPushButton*>(QStringLiteral("cmdLight"))->click();
            ndf.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
        });
    };
    rig.action("mnuNDF")->trigger();
    QVERIFY(dialogRan);
    QCOMPARE(rig.messages.messages, (QStringList{text(309), text(310)}));
    QCOMPARE(rig.reader.labels().text(Label::na), QStringLiteral("0.800"));
    QVERIFY(rig.reader.tmrDelayZero().isEnabled());
    QVERIFY(!rig.reader.tmrRead().isEnabled());
}

void TestFrmQVR100::portCommandKeepsReading() {
    Rig rig;
    rig.driver.boards = {{0, {41, kDas08}}, {3, {7, "Other"}}};
    rig.start();
    rig.clock.advance(kDelayZeroMs);
    QVERIFY(rig.reader.tmrRead().isEnabled());
    bool dialogRan = false;
    whenShown<dlgPort>(this, [&](dlgPort& port) {
        dialogRan = true;
        auto* list = port.findChild<QComboBox*>(QStringLiteral("cmbBoard"));
        QCOMPARE(list->count(), 2);
        list->setCurrentIndex(1);
        port.OKButton_Click();
    });
    rig.action("mnuPort")->trigger();
    QVERIFY(dialogRan);
    QCOMPARE(int(rig.reader.state().BoardNum), 3);
    QCOMPARE(rig.settings.read(QStringLiteral("PCIPort"), QString()), QStringLiteral("3"));
    QVERIFY(rig.reader.tmrRead().isEnabled());

    rig.driver.logAnalog = true;
    rig.driver.clearLog();
    rig.clock.advance(kReadMs);
    QVERIFY(rig.driver.countOf(QStringLiteral("cbAIn")) > 0);
    for (const FakeDriver::Call& c : rig.driver.calls)
        QCOMPARE(c.board, 3);
}

void TestFrmQVR100::aboutTwiceShowsOneBox() {
    Rig rig;
    rig.start();
    rig.window.show();
    rig.action("mnuAbout")->trigger();
    QPointer<frmAbout> first = rig.window.aboutBox();
    QVERIFY(first && first->isVisible());
    rig.action("mnuAbout")->trigger();
    QCOMPARE(rig.window.aboutBox(), first.data());
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        shown += qobject_cast<frmAbout*>(w) && w->isVisible();
    QCOMPARE(shown, 1);
    // Readings go on behind it.
    QVERIFY(rig.reader.tmrDelayZero().isEnabled());

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!first);
    rig.action("mnuAbout")->trigger();
    QVERIFY(rig.window.aboutBox() && rig.window.aboutBox()->isVisible());
}

void TestFrmQVR100::shutDown_data() {
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("withAbout");
    QTest::newRow("closing the window") << "close" << false;
    QTest::newRow("File, Exit") << "exit" << false;
    QTest::newRow("closing with the About box open") << "close" << true;
    QTest::newRow("File, Exit with the About box open") << "exit" << true;
}

void TestFrmQVR100::shutDown() {
    QFETCH(QString, way);
    QFETCH(bool, withAbout);
    Rig rig;
    rig.start();
    rig.window.show();
    rig.window.findChild<QCheckBox*>(QStringLiteral("chkLED"))->click();
    if (withAbout)
        rig.action("mnuAbout")->trigger();
    QPointer<frmAbout> about = rig.window.aboutBox();
    QSignalSpy ended(&rig.reader, &Reader::ended);

    if (way == QLatin1String("close"))
        rig.window.close();
    else
        rig.action("mnuExit")->trigger();

    QCOMPARE(ended.size(), 1);
    QVERIFY(rig.reader.hasEnded());
    QCOMPARE(rig.writes().last(), 0);
    QVERIFY(!rig.window.isVisible());
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    if (withAbout) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!about);
    }
    QVERIFY(!rig.reader.tmrDelayZero().isEnabled());
    QVERIFY(!rig.reader.tmrRead().isEnabled());
}

void TestFrmQVR100::positionStoredAndRestored_data() {
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("storedLeft");
    QTest::addColumn<QString>("storedTop");
    QTest::newRow("whole pixels") << "1500"
                                  << "1200"
                                  << "1500"
                                  << "1200";
    // Not a whole number of pixels: an unmoved window keeps them as they were.
    QTest::newRow("first run, defaults") << QString() << QString() << "100"
                                         << "100";
    QTest::newRow("fractions of a pixel") << "1234.5"
                                          << "-7"
                                          << "1234.5"
                                          << "-7";
}

void TestFrmQVR100::positionStoredAndRestored() {
    QFETCH(QString, left);
    QFETCH(QString, top);
    QFETCH(QString, storedLeft);
    QFETCH(QString, storedTop);
    Rig rig;
    if (!left.isNull())
        rig.settings.values_[QStringLiteral("ScreenLeft")] = left;
    if (!top.isNull())
        rig.settings.values_[QStringLiteral("ScreenTop")] = top;
    rig.start();
    rig.window.show();
    const QScreen* s = rig.window.screen();
    const float l = storedLeft.toFloat(), t = storedTop.toFloat();
    QCOMPARE(rig.window.pos(),
             QPoint(twipsToPixels(std::lround(l), s), twipsToPixels(std::lround(t), s)));

    rig.window.close();
    QCOMPARE(rig.settings.read(QStringLiteral("ScreenLeft"), QString()), storedLeft);
    QCOMPARE(rig.settings.read(QStringLiteral("ScreenTop"), QString()), storedTop);
}

void TestFrmQVR100::movedWindowStoresWhereItIs() {
    Rig rig;
    rig.settings.values_[QStringLiteral("ScreenLeft")] = QStringLiteral("100");
    rig.start();
    rig.window.show();
    const QScreen* s = rig.window.screen();
    rig.window.move(twipsToPixels(3000, s), twipsToPixels(1500, s));
    rig.window.close();
    QCOMPARE(rig.settings.read(QStringLiteral("ScreenLeft"), QString()), QStringLiteral("3000"));
    QCOMPARE(rig.settings.read(QStringLiteral("ScreenTop"), QString()), QStringLiteral("1500"));
}

QTEST_MAIN(TestFrmQVR100)
#include "test_frmqvr100.moc"
