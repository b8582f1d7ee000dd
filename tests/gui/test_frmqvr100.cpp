// The main window over the reader: menus, check marks, the labels, the commands' dialogs,
// shut-down and the window position.

#include "FakeDriver.h"
#include "ManualClock.h"
#include "ReadingScript.h"
#include "RecordingMessageSink.h"

#include "core/Settings.h"
#include "reader/Reader.h"
#include "ui/Twips.h"
#include "ui/dlgPort.h"
#include "ui/frmAbout.h"
#include "ui/frmNDF.h"
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
                 (QStringList{"&File", " E&xit", "&Setup", " &Neutral Density Filter Check Ctrl+N",
                              " &Zero Ctrl+Z", " -", " &Wavelength", "  510 nm", "  600 nm",
                              " &Port", "&Help", " &Help on QVR100 software F1 (off)",
                              " &About QVR100 software"}));
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
        const QScreen* s = rig.window.screen();
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("QVR100"));
        // The same client area with or without the marker.
        QCOMPARE(rig.window.centralWidget()->size(),
                 QSize(twipsToPixels(kClientWidthTwips, s), twipsToPixels(kClientHeightTwips, s)));
        auto* marker = rig.window.findChild<QLabel*>(QStringLiteral("lblSimulated"));
        QCOMPARE(marker != nullptr, simulated);
        if (marker)
            QVERIFY(marker->isVisible() && marker->text() == QStringLiteral("SIMULATED"));
        for (Label l : {Label::WL, Label::A}) {
            const QFont f = rig.window.labelWidget(l)->font();
            QVERIFY(f.family() == QStringLiteral("Arial") && f.bold() && f.pointSize() == 12);
        }
        // The panel lies below the initial area, uncovered by enlarging the window.
        QVERIFY(rig.window.labelWidget(Label::Label1)->visibleRegion().isEmpty());
        rig.window.resize(rig.window.width(), rig.window.height() + twipsToPixels(6000, s));
        QVERIFY(!rig.window.labelWidget(Label::lblEEPROM)->visibleRegion().isEmpty());
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

    void filterCheckCommand() {
        Rig rig;
        rig.reader.state().rdrGain = 2.5;
        bool dialogRan = false;
        whenShown<frmNDF>(this, [&](frmNDF& ndf) {
            dialogRan = true;
            scriptReading(rig.driver, 3.0);
            ndf.findChild<QPushButton*>(QStringLiteral("cmdZero"))->click();
            scriptReading(rig.driver, 1.0);
            ndf.findChild<QPushButton*>(QStringLiteral("cmdLight"))->click();
            ndf.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
        });
        rig.action("mnuNDF")->trigger();
        QVERIFY(dialogRan);
        QCOMPARE(rig.reader.labels().text(Label::na), QStringLiteral("0.800"));
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

    void aboutBoxAndShutDown_data() {
        QTest::addColumn<bool>("exitCommand");
        QTest::newRow("closing the window") << false;
        QTest::newRow("File, Exit") << true;
    }
    void aboutBoxAndShutDown() {
        QFETCH(bool, exitCommand);
        Rig rig;
        rig.window.show();
        rig.action("mnuAbout")->trigger();
        QPointer<frmAbout> first = rig.window.aboutBox();
        QVERIFY(first && first->isVisible());
        rig.action("mnuAbout")->trigger();
        QCOMPARE(rig.window.aboutBox(), first.data());
        QCOMPARE(rig.aboutBoxesShown(), 1);
        first->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!first);
        rig.action("mnuAbout")->trigger();
        QPointer<frmAbout> again = rig.window.aboutBox();
        QCOMPARE(rig.aboutBoxesShown(), 1);

        // The one shut-down closes the About box with everything else.
        QSignalSpy ended(&rig.reader, &Reader::ended);
        if (exitCommand)
            rig.action("mnuExit")->trigger();
        else
            rig.window.close();
        QCOMPARE(ended.size(), 1);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!again);
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
