// The filter check window: what can be pressed when, where the focus goes, what is shown.

#include "FakeDriver.h"
#include "ReadingScript.h"

#include "app/LabelModel.h"
#include "app/Messages.h"
#include "app/ReaderState.h"
#include "dialogs/FilterCheck.h"
#include "dialogs/frmNDF.h"
#include "head/HeadLines.h"
#include "measure/Acquisition.h"

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
        for (const char* n : {"cmdZero", "cmdLight", "cmdMedium", "cmdDark", "OKButton"})
            if (button(n)->isEnabled())
                out << QLatin1String(n);
        return out;
    }
    FilterCheck check;
    frmNDF dialog;
};

const QStringList kAll = {"cmdZero", "cmdLight", "cmdMedium", "cmdDark", "OKButton"};

} // namespace

class TestFrmNDF : public QObject {
    Q_OBJECT
private slots:
    void onOpening();
    void captions_data();
    void captions();
    void tabOrder();
    void focusWalkAndResults();
    void filterBeforeZeroCannotBePressed();
    void reopeningStartsFresh();
    void closeButtonCloses();
};

void TestFrmNDF::onOpening() {
    Rig rig;
    Opening o(rig);
    QCOMPARE(o.enabled(), (QStringList{"cmdZero", "OKButton"}));
    for (const char* r : {"ndfA", "ndfB", "ndfC"}) {
        QVERIFY(!o.label(r)->isVisible());
        QCOMPARE(o.label(r)->text(), QString());
    }
    QCOMPARE(o.label("lblWL")->text(), QStringLiteral("510 nm"));
    QCOMPARE(o.dialog.focusWidget(), o.button("cmdZero"));
    QVERIFY(o.dialog.isModal());
    QCOMPARE(o.dialog.minimumSize(), o.dialog.maximumSize());
    const Qt::WindowFlags f = o.dialog.windowFlags();
    QVERIFY(f & Qt::WindowCloseButtonHint);
    QVERIFY(!(f & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(f & Qt::WindowMaximizeButtonHint));
}

void TestFrmNDF::captions_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("id");
    QTest::newRow("instructions") << "lblInstructions" << 301;
    QTest::newRow("header") << "lblHdr" << 308;
    QTest::newRow("zero") << "cmdZero" << 303;
    QTest::newRow("light") << "cmdLight" << 304;
    QTest::newRow("medium") << "cmdMedium" << 305;
    QTest::newRow("dark") << "cmdDark" << 306;
    QTest::newRow("close") << "OKButton" << 302;
}

void TestFrmNDF::captions() {
    QFETCH(QString, control);
    QFETCH(int, id);
    Rig rig;
    Opening o(rig);
    QCOMPARE(o.dialog.windowTitle(), text(300));
    QCOMPARE(o.dialog.findChild<QObject*>(control)->property("text").toString(), text(id));
}

void TestFrmNDF::tabOrder() {
    Rig rig;
    Opening o(rig);
    QStringList chain;
    QWidget* w = o.button("cmdZero");
    do {
        if (kAll.contains(w->objectName()))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != o.button("cmdZero"));
    QCOMPARE(chain, kAll);
}

void TestFrmNDF::focusWalkAndResults() {
    Rig rig;
    Opening o(rig);
    scriptReading(rig.driver, 3.0); // zero 1.2
    o.button("cmdZero")->click();
    QCOMPARE(o.enabled(), kAll);
    QCOMPARE(o.dialog.focusWidget(), o.button("cmdLight"));

    struct Step {
        const char* button;
        double volts;
        const char* field;
        Label target;
        const char* text;
        const char* focus;
    };
    const Step steps[] = {
        {"cmdLight", 2.22, "ndfA", Label::na, "0.312", "cmdMedium"},
        {"cmdMedium", -1.0, "ndfB", Label::nb, "1.600", "cmdDark"},
        {"cmdDark", -4.78, "ndfC", Label::nc, "3.112", "OKButton"}, // no ceiling
    };
    for (const Step& s : steps) {
        scriptReading(rig.driver, s.volts);
        o.button(s.button)->click();
        QCOMPARE(o.label(s.field)->text(), QLatin1String(s.text));
        QVERIFY(o.label(s.field)->isVisible());
        QCOMPARE(rig.labels.text(s.target), QLatin1String(s.text));
        QCOMPARE(o.dialog.focusWidget(), o.button(s.focus));
        QCOMPARE(o.enabled(), kAll);
    }
    QVERIFY(rig.driver.counts.empty());
}

void TestFrmNDF::filterBeforeZeroCannotBePressed() {
    Rig rig;
    Opening o(rig);
    o.button("cmdLight")->click();
    QTest::mouseClick(o.button("cmdDark"), Qt::LeftButton);
    QCOMPARE(rig.driver.countOf(QStringLiteral("cbAIn")), 0);
    QVERIFY(!o.label("ndfA")->isVisible());
}

void TestFrmNDF::reopeningStartsFresh() {
    Rig rig;
    {
        Opening first(rig);
        scriptReading(rig.driver, 3.0);
        first.button("cmdZero")->click();
        scriptReading(rig.driver, 1.0);
        first.button("cmdLight")->click();
        first.button("OKButton")->click();
    }
    Opening again(rig);
    QCOMPARE(again.enabled(), (QStringList{"cmdZero", "OKButton"}));
    QVERIFY(!again.label("ndfA")->isVisible());
    QCOMPARE(again.label("ndfA")->text(), QString());
    QCOMPARE(rig.labels.text(Label::na), QStringLiteral("0.800"));
}

void TestFrmNDF::closeButtonCloses() {
    Rig rig;
    Opening o(rig);
    o.button("OKButton")->click();
    QVERIFY(!o.dialog.isVisible());
}

QTEST_MAIN(TestFrmNDF)
#include "test_frmndf.moc"
