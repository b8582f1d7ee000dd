// Reading simulator scenarios: defaults, every key, and each kind of bad input refused with
// the key named.

#include "daq/sim/Scenario.h"
#include "reader/Reader.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace qvr::sim;

namespace qvr::test {

class TestSimScenario : public QObject {
    Q_OBJECT
private slots:
    void emptyScenarioIsTheHealthyHeadAndRecordGapsAreFF() {
        QString error;
        const auto s = parseScenario("{}", &error);
        QVERIFY2(s, qPrintable(error));
        QCOMPARE(s->record(), healthyRecord());
        Scenario r;
        r.setRecord("ABC");
        QCOMPARE(r.words[2], std::uint16_t(0x43FF));
        QCOMPARE(r.words[3], std::uint16_t(0xFFFF)); // odd words are not in the record
        QCOMPARE(r.record(), QByteArray("ABC") + QByteArray(61, '\xff'));
    }

    void everyKey() {
        const QByteArray json = R"({
            "boards": [{"number": 1, "name": "PCI-DAS08"}, {"number": 4, "name": "PCI-DIO24",
                        "type": 9}],
            "record": "QVR10015001.0\u00ff",
            "gain": 10, "lamp": -5, "noise": 1000, "seed": 99, "conversion_us": 0,
            "film": {"present": true, "od": [0, 10]},
            "button": true, "holder": "filter",
            "filters": {"light": 0.25, "medium": 0.5, "dark": 3, "inserted": "dark"},
            "faults": {"fail": {"cbAIn": 10, "cbGetBoardName": 1}, "fail_status": 7,
                       "no_board": true, "other_model": true, "blank_eeprom": true,
                       "do_stuck": 0, "dead_converter": true, "disconnected": true},
            "undriven_do": 0,
            "events": [{"at": 2.5, "lamp": 1}, {"at": 0.001, "film": {"present": false}}]
        })";
        QString error;
        const auto s = parseScenario(json, &error);
        QVERIFY2(s, qPrintable(error));
        QCOMPARE(s->boards.size(), 2);
        QCOMPARE(s->boards[0].type, kDas08BoardType);
        QCOMPARE(s->boards[1].type, 9);
        QCOMPARE(s->record().left(14), QByteArray("QVR10015001.0\xff"));
        QCOMPARE((QList<double>{s->gain, s->lamp, s->noise, s->film.od[1], s->filters.od[2]}),
                 (QList<double>{10, -5, 1000, 10, 3}));
        QCOMPARE(s->seed, std::uint64_t(99));
        QCOMPARE(s->conversionUs, 0);
        QVERIFY(s->film.present && s->button);
        QCOMPARE(s->holder, Holder::Filter);
        QCOMPARE(s->filters.inserted, Filter::Dark);
        const Faults& f = s->faults;
        QCOMPARE(f.failEvery, (std::array<int, kCallKinds>{10, 0, 0, 0, 1}));
        QCOMPARE(f.failStatus, 7);
        QVERIFY(f.noBoard && f.otherModel && f.blankEeprom && f.deadConverter && f.disconnected);
        QCOMPARE(f.doStuck, 0);
        QCOMPARE(s->undrivenDo, 0);
        QCOMPARE(s->events.size(), std::size_t(2));
        QCOMPARE(s->events[0].atMs, 1); // in time order
        QCOMPARE(s->events[1].atMs, 2500);
    }

    void wordsInsteadOfRecord() {
        QJsonArray w;
        for (int i = 0; i < 64; ++i)
            w.append(i * 1000);
        QString error;
        const auto s = parseScenario(QJsonDocument(QJsonObject{{"words", w}}).toJson(), &error);
        QVERIFY2(s, qPrintable(error));
        QCOMPARE(s->words[63], std::uint16_t(63000));
    }

    void eventsChangeOnlyTheirKeys() {
        QString error;
        auto s = parseScenario(R"({"film": {"present": true, "od": [1, 2]},
                                   "events": [{"at": 1, "film": {"od": [3, 4]},
                                               "faults": {"fail": {"cbDIn": 2}}}]})",
                               &error);
        QVERIFY2(s, qPrintable(error));
        Scenario now = *s;
        applyChanges(now, s->events[0].changes);
        QVERIFY(now.film.present);
        QCOMPARE(now.film.od[0], 3.0);
        QCOMPARE(now.faults.failEvery[int(CallKind::DIn)], 2);
        QCOMPARE(now.lamp, s->lamp);
    }

    void refused_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        // The scenario text names its row.
        const auto row = [](const QByteArray& json, const char* message) {
            QTest::newRow(json.constData()) << json << QString(message);
        };
        row("{\"gain\": ", "not valid JSON");
        row("[1]", "must be a JSON object");
        row(R"({"gian": 1})", "scenario key \"gian\": unknown key");
        row(R"({"gain": 0})", "scenario key \"gain\": 0 is out of range (above 0 to 10)");
        row(R"({"gain": 10.5})", "\"gain\": 10.5");
        row(R"({"gain": "1.9"})", "\"gain\": expected a number");
        row(R"({"lamp": -5.01})", "\"lamp\"");
        row(R"({"seed": 1.5})", "\"seed\": expected a whole number");
        row(R"({"conversion_us": -1})", "\"conversion_us\"");
        row(R"({"film": {"od": [1, 10.1]}})", "\"film.od[1]\"");
        row(R"({"film": {"od": [1]}})", "\"film.od\": expected a list of 2 ods");
        row(R"({"film": {"damage": [-10.5, 0]}})", "\"film.damage[0]\"");
        row(R"({"film": {"damage": [0, 10.5]}})", "\"film.damage[1]\"");
        row(R"({"film": {"in": true}})", "\"film.in\": unknown key");
        row(R"({"film": {"present": 1}})", "\"film.present\": expected true or false");
        row(R"({"holder": "box"})", "\"holder\": expected one of \"film\", \"filter\"");
        row(R"({"filters": {"inserted": "grey"}})", "\"filters.inserted\"");
        row("{\"record\": \"" + QByteArray(65, 'Q') + "\"}", "\"record\": longer than 64");
        row(R"({"record": "Q\u20ac"})", "\"record\": character U+20ac");
        row(R"({"record": "Q", "words": []})", "\"words\": give either");
        row(R"({"words": [1, 2]})", "\"words\": expected a list of 64");
        row(R"({"boards": [{"number": 0}]})", "\"boards[0].name\": missing");
        row(R"({"boards": [{"number": 200, "name": "X"}]})", "\"boards[0].number\"");
        row(R"({"boards": [{"number": 1, "name": "A"}, {"number": 1, "name": "B"}]})",
            "\"boards[1].number\": board 1 is listed twice");
        row(R"({"boards": [{"number": 1, "name": "ABCDEFGHIJKLMNOPQRSTUVWXY"}]})",
            "\"boards[0].name\"");
        row(R"({"boards": [{"number": 1, "name": "A", "type": 0}]})", "\"boards[0].type\"");
        row(R"({"faults": {"fail": {"cbAOut": 1}}})", "\"faults.fail.cbAOut\": unknown key");
        row(R"({"faults": {"do_stuck": 2}})", "\"faults.do_stuck\": expected 0, 1 or null");
        row(R"({"events": [{"lamp": 1}]})", "\"events[0].at\": missing");
        row(R"({"events": [{"at": 1}, {"at": 2, "film": {"od": [0, 11]}}]})",
            "\"events[1].film.od[1]\"");
        row(R"({"events": [{"at": 1, "events": []}]})", "\"events[0].events\": unknown key");
    }
    void refused() {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        QString error;
        QVERIFY(!parseScenario(json, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
    }

    void examplesParse() {
        const QDir dir(QStringLiteral(QVR100_SOURCE_DIR "/examples"));
        const QStringList files = dir.entryList({"*.json"}, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString& name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QString error;
            const auto s = parseScenario(f.readAll(), &error);
            QVERIFY2(s, qPrintable(name + ": " + error));
        }
    }

    // The dose training session zeroes through an empty holder: a zero taken through the film
    // would read the film itself as no absorbance.
    void trainingFilmGoesInAfterTheFirstZero() {
        QFile f(QStringLiteral(QVR100_SOURCE_DIR "/examples/dose-training.json"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QString error;
        const auto s = parseScenario(f.readAll(), &error);
        QVERIFY2(s, qPrintable(error));
        QVERIFY(!s->film.present);
        qint64 filmIn = -1;
        for (const Event& e : s->events)
            if (filmIn < 0 && e.changes.value("film").toObject().value("present").toBool())
                filmIn = e.atMs;
        // Well after the zero the reader takes kDelayZeroMs after its start.
        QVERIFY2(filmIn >= 4 * kDelayZeroMs, qPrintable(QString::number(filmIn)));
    }
};

} // namespace qvr::test

QTEST_APPLESS_MAIN(qvr::test::TestSimScenario)
#include "test_sim_scenario.moc"
