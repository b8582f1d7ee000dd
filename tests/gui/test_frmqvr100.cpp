// The main window over the reader: menus, check marks, the labels, the commands' dialogs,
// shut-down and the window position.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include "core/Messages.h"
#include "core/Settings.h"
#include "reader/Reader.h"
#include "ui/BarStack.h"
#include "ui/Twips.h"
#include "ui/dlgPort.h"
#include "ui/frmAbout.h"
#include "ui/frmQVR100.h"

#include <QtTest>
#include <QtWidgets>

using namespace qvr;
using namespace qvr::test;

namespace {

struct Rig {
    explicit Rig(bool simulated = false, const QHash<QString, QString>& stored = {})
        : reader(clock, driver, settings, messages), window(reader, simulated) {
        driver.logAnalog = false;
        driver.count = 3276; // 3 V: a clear light path, no zero caution
        driver.boards = {{0, {41, QStringLiteral("PCI-DAS08")}}};
        settings.values_[QStringLiteral("PCIPort")] = QStringLiteral("0");
        settings.values_[QStringLiteral("Display")] = QStringLiteral("Primary");
        settings.values_.insert(stored);
        reader.Form_Load(window);
        reader.labels().flush();
    }
    QAction* action(const char* name) { return window.findChild<QAction*>(QLatin1String(name)); }
    int aboutBoxesShown() const {
        int shown = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            shown += qobject_cast<frmAbout*>(w) && w->isVisible();
        return shown;
    }

    ManualClock clock;
    FakeDriver driver;
    MemorySettings settings;
    RecordingMessageSink messages;
    Reader reader;
    frmQVR100 window;
};

// One line per item, indented by depth, with its shortcut and "(off)" when greyed.
void walk(const QList<QAction*>& actions, const QString& indent, QStringList& out) {
    for (QAction* a : actions) {
        QString line = indent + (a->isSeparator() ? QStringLiteral("-") : a->text());
        if (!a->shortcut().isEmpty())
            line += QLatin1Char(' ') + a->shortcut().toString();
        if (!a->isEnabled())
            line += QStringLiteral(" (off)");
        out << line;
        if (a->menu())
            walk(a->menu()->actions(), indent + QLatin1Char(' '), out);
    }
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
    void menuTree() {
        Rig rig;
        QStringList tree;
        walk(rig.window.menuBar()->actions(), QString(), tree);
        QCOMPARE(tree,
                 (QStringList{"&File", " E&xit Ctrl+Q", "&Setup",
                              " &Neutral Density Filter Check Ctrl+N", " &Zero Ctrl+Z",
                              " &Accept this zero as clear path (off)", " -", " &Wavelength",
                              "  510 nm", "  600 nm", " &Port", "&View", " &Large Display Ctrl+L",
                              "&Help", " &Help on QVR100 software F1", " &About QVR100 software"}));
        // The simulator's window can come back only where there is one.
        QVERIFY(!rig.action("mnuSimulator"));
        QVERIFY(Rig(true).action("mnuSimulator"));
    }

    void checkMarks_data() {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QByteArray>("commands"); // P: first wavelength, S: second
        QTest::addColumn<QString>("marks");       // after start-up, then after each command
        // Choosing the checked item again keeps its mark.
        QTest::newRow("stored Primary")
            << QString("Primary") << QByteArray("SSPP") << QString("PSSPP");
        QTest::newRow("anything else is Secondary")
            << QString("primary") << QByteArray("P") << QString("SP");
    }
    void checkMarks() {
        QFETCH(QString, display);
        QFETCH(QByteArray, commands);
        QFETCH(QString, marks);
        Rig rig(false, {{QStringLiteral("Display"), display}});
        auto mark = [&rig] {
            const bool p = rig.action("mnuPrimary")->isChecked();
            const bool s = rig.action("mnuSecondary")->isChecked();
            return p == s ? QLatin1Char('?') : p ? QLatin1Char('P') : QLatin1Char('S');
        };
        QString seen(mark());
        for (char c : commands) {
            rig.action(c == 'P' ? "mnuPrimary" : "mnuSecondary")->trigger();
            seen += mark();
        }
        QCOMPARE(seen, marks);
    }

    // Each shown label follows its own entry of the model, as plain text.
    void labelsFollowTheModel() {
        Rig rig;
        QList<Label> shown;
        for (int i = 0; i < kLabelCount; ++i)
            if (rig.window.labelWidget(Label(i)))
                shown << Label(i);
        QCOMPARE(shown.size(), 16);
        for (Label l : shown)
            rig.reader.labels().set(l, QStringLiteral("<i>%1</i> &").arg(LabelModel::name(l)));
        QCoreApplication::processEvents(); // the model tells its observers on the event loop
        shown.removeOne(Label::lblEEPROM); // shortened to its line: panelExplainsItself
        for (Label l : shown) {
            QCOMPARE(rig.window.labelWidget(l)->text(), rig.reader.labels().text(l));
            QCOMPARE(rig.window.labelWidget(l)->textFormat(), Qt::PlainText);
        }
    }

    void displayArea_data() {
        QTest::addColumn<bool>("simulated");
        QTest::newRow("real card") << false;
        QTest::newRow("simulated card") << true;
    }
    void displayArea() {
        QFETCH(bool, simulated);
        Rig rig(simulated);
        rig.window.show();
        QVERIFY(!rig.window.findChild<QLabel*>(QStringLiteral("lblFault"))->isVisible());
        const QScreen* s = rig.window.screen();
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("QVR100"));
        // The same client area with or without the marker, widened to the menu bar, every
        // menu of which shows.
        const QSize client = rig.window.clientArea()->size();
        QCOMPARE(client.height(), twipsToPixels(kClientHeightTwips, s));
        QVERIFY(client.width() >= twipsToPixels(kClientWidthTwips, s));
        for (QAction* menu : rig.window.menuBar()->actions())
            QVERIFY(rig.window.menuBar()->actionGeometry(menu).right() < client.width());
        auto* marker = rig.window.findChild<QLabel*>(QStringLiteral("lblSimulated"));
        QCOMPARE(marker != nullptr, simulated);
        if (marker)
            QVERIFY(marker->isVisible() && marker->text() == QStringLiteral("SIMULATED"));
        for (Label l : {Label::WL, Label::A}) {
            const QFont f = rig.window.labelWidget(l)->font();
            QVERIFY(f.family() == QStringLiteral("Arial") && f.bold() && f.pointSize() == 12);
        }
        // The panel lies below the initial area, uncovered by enlarging the window; it scrolls
        // while the window is too small for it.
        QVERIFY(rig.window.labelWidget(Label::Label1)->visibleRegion().isEmpty());
        rig.window.resize(rig.window.width(), rig.window.height() + twipsToPixels(3000, s));
        QCoreApplication::processEvents();
        QVERIFY(rig.window.labelWidget(Label::lblEEPROM)->visibleRegion().isEmpty());
        QVERIFY(rig.window.panelArea()->verticalScrollBar()->maximum() > 0);
        rig.window.resize(rig.window.width(), rig.window.height() + twipsToPixels(3000, s));
        QCoreApplication::processEvents();
        QVERIFY(!rig.window.labelWidget(Label::lblEEPROM)->visibleRegion().isEmpty());
        QCOMPARE(rig.window.panelArea()->verticalScrollBar()->maximum(), 0);
    }

    void checkBoxesSwitchTheLines_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("bit");
        QTest::newRow("LED") << "chkLED" << int(kLedBit);
        QTest::newRow("Buzzer") << "chkBuzzer" << int(kBuzzerBit);
    }
    void checkBoxesSwitchTheLines() {
        QFETCH(QString, box);
        QFETCH(int, bit);
        Rig rig;
        auto* check = rig.window.findChild<QCheckBox*>(box);
        QVERIFY(check && !check->isChecked());
        rig.driver.clearLog();
        check->click();
        check->click();
        const QList<int> writes = rig.driver.doutValues();
        QCOMPARE(writes.size(), 2); // one each
        QVERIFY(!(writes[1] & bit));
        QCOMPARE(writes[0], writes[1] | bit); // that line alone
        // Other writers of the line leave the box alone.
        check->click();
        rig.action("mnuSecondary")->trigger();
        rig.clock.advance(1000);
        QVERIFY(check->isChecked());
    }

    void portCommandChoosesTheBoard() {
        Rig rig;
        rig.driver.boards[3] = {7, QStringLiteral("Other")};
        bool dialogRan = false;
        whenShown<dlgPort>(this, [&](dlgPort& port) {
            dialogRan = true;
            port.findChild<QComboBox*>(QStringLiteral("cmbBoard"))->setCurrentIndex(1);
            port.OKButton_Click();
        });
        rig.action("mnuPort")->trigger();
        QVERIFY(dialogRan);
        QCOMPARE(int(rig.reader.state().BoardNum), 3);
    }

    // Usable only while a zero is refused as darker than the clear path, and only once the
    // user has said yes.
    void acceptClearPathAsksFirst() {
        Rig rig;
        rig.window.show();
        QAction* accept = rig.action("mnuAcceptClearPath");
        rig.clock.advance(1100);       // the clear path
        rig.driver.count = 3276 - 409; // 1 V darker: something in the path
        rig.action("mnuZero")->trigger();
        rig.clock.advance(500);
        QVERIFY(accept->isEnabled());
        for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            whenShown<QMessageBox>(this, [&](QMessageBox& box) {
                QCOMPARE(box.text(), qvr::text(1015));
                box.button(answer)->click();
            });
            accept->trigger();
            rig.clock.advance(500);
            QCOMPARE(accept->isEnabled(), answer == QMessageBox::No);
        }
        QCOMPARE(rig.reader.labels().text(Label::Notice), QString());
    }

    // Closing the main window shuts down as well: test_windowedrun.
    void aboutBoxAndExit() {
        Rig rig;
        rig.window.show();
        rig.action("mnuAbout")->trigger();
        QPointer<frmAbout> first = rig.window.aboutBox();
        QVERIFY(first && first->isVisible());
        rig.action("mnuAbout")->trigger();
        QCOMPARE(rig.window.aboutBox(), first.data());
        QCOMPARE(rig.aboutBoxesShown(), 1);
        QCOMPARE(first->findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap().size(),
                 QSize(32, 32));
        QTest::keyClick(first, Qt::Key_Escape); // Esc closes, and closing unloads
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!first);
        rig.action("mnuAbout")->trigger();
        QPointer<frmAbout> again = rig.window.aboutBox();
        QCOMPARE(rig.aboutBoxesShown(), 1);

        // The one shut-down closes the About box with everything else.
        QSignalSpy ended(&rig.reader, &Reader::ended);
        rig.action("mnuExit")->trigger();
        QCOMPARE(ended.size(), 1);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!again);
    }

    // At every window size, no bar lies over a control of the client area; a second bar
    // stacks under the first and grows the window instead of taking from the client area.
    void barsNeverCoverAControl() {
        Rig rig(true);
        rig.window.show();
        auto barRects = [&rig] {
            QList<QRect> rects;
            for (QLabel* bar : rig.window.bars()->findChildren<QLabel*>())
                if (bar->isVisible())
                    rects << QRect(bar->mapTo(&rig.window, QPoint(0, 0)), bar->size());
            return rects;
        };
        auto check = [&](const QString& where) {
            const QList<QRect> bars = barRects();
            QVERIFY2(!bars.isEmpty(), qPrintable(where));
            const QList<QWidget*> controls = rig.window.clientArea()->findChildren<QWidget*>();
            QVERIFY(controls.size() >= 18);
            for (QWidget* c : controls) {
                const QRect r(c->mapTo(&rig.window, QPoint(0, 0)), c->size());
                for (const QRect& bar : bars)
                    QVERIFY2(!bar.intersects(r), qPrintable(where + c->objectName()));
            }
        };
        const QSize client = rig.window.clientArea()->size();
        const int windowHeight = rig.window.height();
        const QString fault = QStringLiteral("board 3: no such card");
        rig.reader.faults().raise(fault);
        QCoreApplication::processEvents();
        QCOMPARE(rig.window.clientArea()->size(), client);
        QVERIFY(rig.window.height() > windowHeight);
        QCOMPARE(barRects().size(), 2);
        QCOMPARE(barRects()[0].bottom() + 1, barRects()[1].top());
        QVERIFY(rig.window.findChild<QLabel*>(QStringLiteral("lblFault"))->text().contains(fault));
        // The notice between them, read whole however long.
        rig.reader.faults().setNotice(qvr::text(1013) + QStringLiteral("0.300"));
        QCoreApplication::processEvents();
        QCOMPARE(barRects().size(), 3);
        QCOMPARE(rig.window.clientArea()->size(), client);
        auto* notice = rig.window.findChild<QLabel*>(QStringLiteral("lblNotice"));
        QCOMPARE(barRects()[1], QRect(notice->mapTo(&rig.window, QPoint()), notice->size()));
        QVERIFY(notice->height() >= notice->heightForWidth(notice->width()));
        rig.reader.faults().setNotice({});
        // Cleared, the fault gives its room back.
        rig.reader.faults().clear();
        QCoreApplication::processEvents();
        QCOMPARE(barRects().size(), 1);
        QCOMPARE(rig.window.height(), windowHeight);
        QTRY_COMPARE(rig.window.clientArea()->size(), client);
        rig.reader.faults().raise(fault);
        QCoreApplication::processEvents();
        const QScreen* s = rig.window.screen();
        const int full = twipsToPixels(kPanelBottomTwips + 600, s);
        for (int width : {twipsToPixels(kClientWidthTwips, s), 260, 400})
            for (int height = 100; height <= full; height += 23) {
                rig.window.resize(width, height);
                QCoreApplication::processEvents();
                check(QStringLiteral("%1 x %2: ").arg(width).arg(height));
            }
    }

    // Every value of the diagnostics panel says what it is and its unit; the head record's
    // line is shortened on screen only and whole in its tooltip.
    void panelExplainsItself() {
        Rig rig;
        QSet<QString> names;
        const auto labels = rig.window.clientArea()->findChildren<QLabel*>();
        QCOMPARE(labels.size(), 16);
        for (QLabel* l : labels) {
            QVERIFY2(!l->toolTip().isEmpty(), qPrintable(l->objectName()));
            names << l->accessibleName();
        }
        QCOMPARE(names.size(), labels.size()); // no two alike, not even the two gains
        QVERIFY(!names.contains(QString()));
        for (const char* box : {"chkLED", "chkBuzzer"})
            QVERIFY(!rig.window.findChild<QCheckBox*>(QLatin1String(box))->toolTip().isEmpty());

        const QString record = QStringLiteral("QVR1001234519510600") +
                               QString(44, QLatin1Char('x')) + QStringLiteral("<\x01");
        rig.reader.labels().set(Label::lblEEPROM, record);
        rig.reader.labels().flush();
        QLabel* line = rig.window.labelWidget(Label::lblEEPROM);
        QVERIFY(line->text().endsWith(QChar(0x2026)));
        // Cut where the panel ends, not past it; the bytes as a linked client reads them.
        QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
        QVERIFY(line->x() + line->width() <= rig.window.panelArea()->width());
        QVERIFY(line->toolTip().contains(QStringLiteral("xxxx&lt;\\x01")));
        QCOMPARE(rig.reader.labels().text(Label::lblEEPROM), record);
    }

    // Large Display: the wavelength and the absorbance fill the window at any size and grow
    // with it; the normal layout comes back as it was; the choice has its own key.
    void largeDisplay() {
        Rig rig(false, {{QStringLiteral("LargeDisplay"), QStringLiteral("1")}});
        frmQVR100 window(rig.reader, false); // reads the setting the rig has just stored
        window.show();
        QVERIFY(window.largeDisplay());
        auto* mnuLargeDisplay = window.findChild<QAction*>(QStringLiteral("mnuLargeDisplay"));
        QVERIFY(mnuLargeDisplay->isChecked());
        QLabel* a = window.labelWidget(Label::A);
        QLabel* wl = window.labelWidget(Label::WL);
        const QRect normalA = twipsRect(1320, 120, 855, 255, window.screen());
        int lastSize = 0;
        for (QSize size : {QSize(200, 120), QSize(500, 300), QSize(1200, 800)}) {
            window.resize(size);
            QCoreApplication::processEvents();
            const QRect client = window.clientArea()->rect();
            QVERIFY(client.contains(a->geometry()) && client.contains(wl->geometry()));
            QVERIFY(a->height() * 2 > client.height());
            QVERIFY(a->fontMetrics().horizontalAdvance(QStringLiteral("-0.000")) <= a->width());
            QVERIFY(a->fontMetrics().height() <= a->height());
            QVERIFY(a->font().pixelSize() > lastSize);
            lastSize = a->font().pixelSize();
        }
        QVERIFY(!window.findChild<QCheckBox*>(QStringLiteral("chkLED"))->isVisible());

        mnuLargeDisplay->trigger();
        QVERIFY(!window.largeDisplay());
        QCOMPARE(a->geometry().topLeft(), normalA.topLeft());
        QCOMPARE(a->height(), normalA.height());
        QCOMPARE(a->font().pointSize(), 12);
        // A text wider than a reading gets smaller type, never cut.
        rig.reader.labels().set(Label::A, QStringLiteral("-12.300"));
        rig.reader.labels().flush();
        QVERIFY(a->fontMetrics().horizontalAdvance(a->text()) <= a->width());
        // The large form comes back at the size it had.
        mnuLargeDisplay->trigger();
        QCOMPARE(window.size(), QSize(1200, 800));
        mnuLargeDisplay->trigger();
        QVERIFY(window.findChild<QCheckBox*>(QStringLiteral("chkLED"))->isVisible());
        QCOMPARE(rig.settings.read(QStringLiteral("LargeDisplay"), QString()), QStringLiteral("0"));
        QCOMPARE(rig.settings.read(QStringLiteral("Display"), QString()),
                 QStringLiteral("Primary"));
    }

    void helpShowsTheGuide() {
        Rig rig;
        rig.window.show();
        rig.action("mnuHelp")->trigger();
        QPointer<QWidget> guide = rig.window.userGuide();
        QVERIFY(guide && guide->isVisible());
        auto* text = guide->findChild<QTextBrowser*>();
        QVERIFY(text->toPlainText().startsWith(QStringLiteral("QVR100PCI user guide")));
        rig.action("mnuHelp")->trigger();
        QCOMPARE(rig.window.userGuide(), guide.data());
    }

    void position_data() {
        QTest::addColumn<QString>("stored"); // left and top at start, null: none
        QTest::addColumn<int>("moveTo");     // twips, 0: not moved
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole pixels") << QString("1500") << 0 << QString("1500");
        // Not a whole number of pixels: an unmoved window keeps them as they were.
        QTest::newRow("first run, defaults") << QString() << 0 << QString("100");
        QTest::newRow("fractions of a pixel") << QString("1234.5") << 0 << QString("1234.5");
        QTest::newRow("moved") << QString("100") << 3000 << QString("3000");
    }
    void position() {
        QFETCH(QString, stored);
        QFETCH(int, moveTo);
        QFETCH(QString, expected);
        QHash<QString, QString> values;
        if (!stored.isNull())
            values = {{QStringLiteral("ScreenLeft"), stored},
                      {QStringLiteral("ScreenTop"), stored}};
        Rig rig(false, values);
        rig.window.show();
        const QScreen* s = rig.window.screen();
        const int px = twipsToPixels(std::lround(expected.toFloat()), s);
        if (moveTo)
            rig.window.move(twipsToPixels(moveTo, s), twipsToPixels(moveTo, s));
        else
            QCOMPARE(rig.window.pos(), QPoint(px, px));
        rig.window.close();
        QCOMPARE(rig.settings.read(QStringLiteral("ScreenLeft"), QString()), expected);
        QCOMPARE(rig.settings.read(QStringLiteral("ScreenTop"), QString()), expected);
    }
};

QTEST_MAIN(TestFrmQVR100)
#include "test_frmqvr100.moc"
