// The filter check window: what can be pressed when, where the focus goes, what is shown.

#include "FakeDriver.h"
#include "ManualClock.h"

#include "core/LabelModel.h"
#include "core/Messages.h"
#include "core/ReaderState.h"
#include "core/Settings.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"
#include "measure/ClearPath.h"
#include "measure/FilterCheck.h"
#include "ui/frmNDF.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

struct Rig {
    Rig() : lines(state, driver, labels), acquisition(lines) {
        driver.logAnalog = false;
        state.rdrGain = 2.5;
        labels.set(Label::WL, QStringLiteral("510 nm"));
    }
    FakeDriver driver;
    ReaderState state;
    LabelModel labels;
    HeadLines lines;
    Acquisition acquisition;
};

const QStringList kAll = {"cmdZero", "cmdLight", "cmdMedium", "cmdDark", "OKButton"};

// One opening of the dialog.
struct Opening {
    explicit Opening(Rig& rig) : check(rig.acquisition, rig.state, rig.labels), dialog(check) {
        dialog.show();
    }
    QPushButton* button(const char* name) {
        return dialog.findChild<QPushButton*>(QLatin1String(name));
    }
    QLabel* label(const char* name) { return dialog.findChild<QLabel*>(QLatin1String(name)); }
    QStringList enabled() {
        QStringList out;
        for (const QString& n : kAll)
            if (button(qPrintable(n))->isEnabled())
                out << n;
        return out;
    }
    FilterCheck check;
    frmNDF dialog;
};

} // namespace

class TestFrmNDF : public QObject {
    Q_OBJECT
private slots:
    void onOpening() {
        Rig rig;
        Opening o(rig);
        QCOMPARE(o.label("lblWL")->text(), QStringLiteral("510 nm"));
        QVERIFY(o.dialog.isModal());
        QCOMPARE(o.dialog.minimumSize(), o.dialog.maximumSize());
        const Qt::WindowFlags f = o.dialog.windowFlags();
        QVERIFY((f & Qt::WindowCloseButtonHint) && !(f & Qt::WindowMinimizeButtonHint) &&
                !(f & Qt::WindowMaximizeButtonHint));
        QCOMPARE(o.enabled(), (QStringList{"cmdZero", "OKButton"}));
        QCOMPARE(o.dialog.focusWidget(), o.button("cmdZero"));
        QStringList chain; // the tab order
        for (QWidget* w = o.button("cmdZero"); chain.size() < kAll.size();
             w = w->nextInFocusChain())
            if (kAll.contains(w->objectName()))
                chain << w->objectName();
        QCOMPARE(chain, kAll);
        for (const char* r : {"ndfA", "ndfB", "ndfC"})
            QVERIFY(!o.label(r)->isVisible() && o.label(r)->text().isEmpty());
    }

    void focusWalkResultsAndReopening() {
        Rig rig;
        Opening o(rig);
        rig.driver.queueVolts(3.0); // zero 1.2
        o.button("cmdZero")->click();
        QCOMPARE(o.enabled(), kAll);
        QCOMPARE(o.dialog.focusWidget(), o.button("cmdLight"));
        // The results themselves, and their labels: test_filtercheck.
        const std::tuple<const char*, double, const char*, const char*, const char*> steps[] = {
            {"cmdLight", 2.22, "ndfA", "0.312", "cmdMedium"},
            {"cmdMedium", -1.0, "ndfB", "1.600", "cmdDark"},
            {"cmdDark", -4.78, "ndfC", "3.112", "OKButton"}, // no ceiling
        };
        for (const auto& [button, volts, field, result, focus] : steps) {
            rig.driver.queueVolts(volts);
            o.button(button)->click();
            QVERIFY(o.label(field)->isVisible());
            QCOMPARE(o.label(field)->text(), QLatin1String(result));
            QCOMPARE(o.dialog.focusWidget(), o.button(focus));
            QCOMPARE(o.enabled(), kAll);
        }
        o.button("OKButton")->click();
        QVERIFY(!o.dialog.isVisible());
        // The next opening starts afresh, whatever the last one left in the labels.
        Opening again(rig);
        QCOMPARE(again.enabled(), (QStringList{"cmdZero", "OKButton"}));
        QVERIFY(!again.label("ndfA")->isVisible() && again.label("ndfA")->text().isEmpty());
    }

    // A zero darker than the clear path is said, and taken only when the user accepts it.
    void refusedZeroIsSaid() {
        Rig rig;
        ManualClock clock;
        MemorySettings settings;
        ClearPath clearPath(settings, clock);
        clearPath.select(QStringLiteral("1234"), QStringLiteral("510"), true);
        clearPath.keep(1.2);
        FilterCheck check(rig.acquisition, rig.state, rig.labels, &clearPath);
        frmNDF dialog(check);
        dialog.show();
        const QSize before = dialog.size();
        rig.driver.queueVolts(2.0); // 0.8: 0.4 darker
        dialog.findChild<QPushButton*>(QStringLiteral("cmdZero"))->click();
        auto* said = dialog.findChild<QLabel*>(QStringLiteral("lblRefusedZero"));
        auto* accept = dialog.findChild<QPushButton*>(QStringLiteral("cmdAcceptClearPath"));
        QVERIFY(said->isVisible() && accept->isVisible());
        QCOMPARE(said->text(), text(1013) + QStringLiteral("0.400"));
        QVERIFY(dialog.height() > before.height()); // room for it, taken from nothing else
        QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("cmdLight"))->isEnabled());
        rig.driver.queueVolts(2.0);
        dialog.cmdAcceptClearPath_Click(); // as after the user's yes
        QVERIFY(!said->isVisible() && !accept->isVisible());
        QCOMPARE(dialog.size(), before);
        QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("cmdLight"))->isEnabled());
        QVERIFY(!clearPath.darkness(0.8));
    }
};

QTEST_MAIN(TestFrmNDF)
#include "test_frmndf.moc"
