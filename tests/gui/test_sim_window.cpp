// The "Reader head simulator" window: its controls change the simulated head, and its
// indicators follow the card without polling.

#include "ManualClock.h"
#include "daq/sim/SimCard.h"
#include "ui/SimControlWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace qvr::sim;

namespace qvr::test {

namespace {

template <typename W> W* find(QWidget& w, const char* name) {
    W* child = w.findChild<W*>(QLatin1String(name));
    if (!child)
        qFatal("no widget %s", name);
    return child;
}

QString text(QWidget& w, const char* name) {
    return find<QLabel>(w, name)->text();
}

} // namespace

class TestSimWindow : public QObject {
    Q_OBJECT
private slots:
    void opensWithTheHeadAsItIs() {
        SimCard card(Scenario::quiet());
        SimControlWindow w(card);
        QCOMPARE(find<QDoubleSpinBox>(w, "lamp")->value(), 2.0);
        QCOMPARE(find<QLineEdit>(w, "record")->text(), QString::fromLatin1(healthyRecord()));
        QCOMPARE(text(w, "faults"), QString("Faults: none"));
    }

    void controlsChangeTheHead() {
        SimCard card(Scenario::quiet());
        SimControlWindow w(card);
        w.show();
        find<QCheckBox>(w, "filmPresent")->setChecked(true);
        find<QDoubleSpinBox>(w, "filmOd1")->setValue(1.25);
        find<QDoubleSpinBox>(w, "filmOd2")->setValue(0.75);
        find<QDoubleSpinBox>(w, "lamp")->setValue(1.5);
        find<QDoubleSpinBox>(w, "noise")->setValue(4);
        const Scenario& now = card.conditions();
        QVERIFY(now.film.present);
        QCOMPARE((QList<double>{now.film.od[0], now.film.od[1], now.lamp, now.noise}),
                 (QList<double>{1.25, 0.75, 1.5, 4}));
        std::int16_t in = 0;
        card.cbDIn(0, AUXPORT, in);
        QCOMPARE(in & 1, 0); // film switch closed

        // The holder and the filters: test_simulated_filter_check.
        auto* button = find<QPushButton>(w, "pushButton");
        QTest::mousePress(button, Qt::LeftButton);
        QVERIFY(card.conditions().button);
        card.cbDIn(0, AUXPORT, in);
        QCOMPARE(in & 2, 2);
        QTest::mouseRelease(button, Qt::LeftButton);
        QVERIFY(!card.conditions().button);
    }

    void indicatorsFollowThePort() {
        SimCard card(Scenario::quiet());
        SimControlWindow w(card);
        const auto shows = [&](int port) {
            card.cbDOut(0, AUXPORT, static_cast<std::uint16_t>(port));
            return QStringList{text(w, "ledIndicator"), text(w, "buzzerIndicator"),
                               text(w, "wavelengthIndicator"), text(w, "chipSelectIndicator")};
        };
        QCOMPARE(shows(14), (QStringList{"LED on", "Buzzer off", "Second wavelength (600 nm)",
                                         "EEPROM released"}));
        QCOMPARE(shows(1), (QStringList{"LED off", "Buzzer on", "First wavelength (510 nm)",
                                        "EEPROM selected"}));
    }

    void eventsShowInTheControls() {
        ManualClock clock;
        Scenario s = Scenario::quiet();
        s.events = {Event{3000, QJsonObject{{"film", QJsonObject{{"present", true},
                                                                 {"damage", QJsonArray{0, -0.2}}}},
                                            {"lamp", 0.5},
                                            {"filters", QJsonObject{{"inserted", "light"}}},
                                            {"faults", QJsonObject{{"blank_eeprom", true}}}}}};
        SimCard card(s, &clock);
        SimControlWindow w(card);
        clock.advance(3000);
        card.applyDueEvents();
        QVERIFY(find<QCheckBox>(w, "filmPresent")->isChecked());
        QCOMPARE(find<QDoubleSpinBox>(w, "lamp")->value(), 0.5);
        QVERIFY(find<QRadioButton>(w, "filterLight")->isChecked());
        // The blank record names no wavelength.
        QCOMPARE(text(w, "faults"),
                 QString("Faults: blank EEPROM, damaged film, od -0.200 at the second wavelength"));
        // As the link serves lblEEPROM (test_linktext has the mapping).
        QCOMPARE(find<QLineEdit>(w, "record")->text(), QString(64, QChar(0xFF)));
        // Showing the event did not feed back into the card as a change of its own.
        QCOMPARE(card.conditions().lamp, 0.5);
    }
};

} // namespace qvr::test

QTEST_MAIN(qvr::test::TestSimWindow)
#include "test_sim_window.moc"
