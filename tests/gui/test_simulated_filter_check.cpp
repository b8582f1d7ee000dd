// The filter check carried out end to end on the simulated head from the two windows alone:
// the holder and the filters go in through the simulator's window while the reader's message
// boxes and its filter check dialog wait, and the reader's own window stays blocked.

#include "ManualClock.h"

#include "core/Settings.h"
#include "daq/sim/SimCard.h"
#include "reader/Reader.h"
#include "ui/QtMessageSink.h"
#include "ui/SimControlWindow.h"
#include "ui/frmNDF.h"
#include "ui/frmQVR100.h"

#include <QtTest>
#include <QtWidgets>
#include <functional>

using namespace qvr;
using namespace qvr::test;

namespace {

// A click as the window system delivers it, so that a window blocked by a modal one ignores it:
// near the left end, where a check box or radio button has its mark whatever its width.
void userClick(QWidget* target) {
    QWidget* top = target->window();
    const QPoint mark(std::min(target->width() / 2, target->height()), target->height() / 2);
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, target->mapTo(top, mark));
}

template <typename W> W* child(QWidget* w, const char* name) {
    W* c = w->findChild<W*>(QLatin1String(name));
    if (!c)
        qFatal("no widget %s", name);
    return c;
}

// Runs step inside the next modal window's own event loop.
void whenModal(QObject* context, std::function<void(QWidget*)> step) {
    QTimer::singleShot(0, context, [step] { step(QApplication::activeModalWidget()); });
}

} // namespace

class TestSimulatedFilterCheck : public QObject {
    Q_OBJECT
private slots:
    void filtersInsertedFromTheSimulator() {
        ManualClock clock;
        sim::SimCard card(sim::Scenario::quiet());
        MemorySettings settings;
        settings.write(QStringLiteral("PCIPort"), QStringLiteral("0"));
        QtMessageSink messages;
        Reader reader(clock, card, settings, messages);
        frmQVR100 window(reader, true);
        reader.Form_Load(window);
        // Tall enough to show the panel's check boxes, which must not take the user's clicks.
        window.resize(window.width(), window.height() + 500);
        window.show();
        sim::SimControlWindow simulator(card);
        window.setSimulatorWindow(&simulator);
        window.showSimulator();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(QTest::qWaitForWindowExposed(&simulator));
        clock.advance(500); // the first zero, on the film holder

        auto* chkLED = child<QCheckBox>(&window, "chkLED");
        QStringList boxes;
        QList<QWidget*> owners;
        double results[3] = {};
        bool ndfRan = false;
        const auto answer = [&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            boxes << box->text();
            owners << box->parentWidget();
            QCOMPARE(box->windowModality(), Qt::WindowModal);
            box->button(QMessageBox::Ok)->click();
        };
        whenModal(this, [&](QWidget* modal) {
            // The holder goes in while the reader asks for it; its own window stays blocked.
            userClick(child<QRadioButton>(&simulator, "holderFilter"));
            QCOMPARE(card.conditions().holder, sim::Holder::Filter);
            userClick(chkLED);
            QVERIFY(!chkLED->isChecked());
            answer(modal);
            whenModal(this, [&](QWidget* modal) {
                auto* ndf = qobject_cast<frmNDF*>(modal);
                QVERIFY(ndf);
                ndfRan = true;
                userClick(chkLED);
                QVERIFY(!chkLED->isChecked());
                child<QPushButton>(ndf, "cmdZero")->click();
                const char* filters[] = {"filterLight", "filterMedium", "filterDark"};
                const char* buttons[] = {"cmdLight", "cmdMedium", "cmdDark"};
                const char* shown[] = {"ndfA", "ndfB", "ndfC"};
                for (int f = 0; f < 3; ++f) {
                    userClick(child<QRadioButton>(&simulator, filters[f]));
                    child<QPushButton>(ndf, buttons[f])->click();
                    results[f] = child<QLabel>(ndf, shown[f])->text().toDouble();
                }
                userClick(child<QRadioButton>(&simulator, "filterNone"));
                child<QPushButton>(ndf, "OKButton")->click();
                whenModal(this, [&](QWidget* modal) {
                    userClick(child<QRadioButton>(&simulator, "holderFilm"));
                    answer(modal);
                });
            });
        });
        window.findChild<QAction*>(QStringLiteral("mnuNDF"))->trigger();

        QVERIFY(ndfRan);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(owners, (QList<QWidget*>{&window, &window})); // centred on the main window
        QCOMPARE(card.conditions().holder, sim::Holder::Film);
        const auto& od = card.conditions().filters.od;
        for (int f = 0; f < 3; ++f)
            QVERIFY2(
                std::abs(results[f] - od[f]) < 0.003,
                qPrintable(
                    QStringLiteral("filter %1: %2 for od %3").arg(f).arg(results[f]).arg(od[f])));
        reader.Form_Unload();
    }
};

QTEST_MAIN(TestSimulatedFilterCheck)
#include "test_simulated_filter_check.moc"
