// Reading simulator scenarios: defaults, every key, and each kind of bad input refused with
// the key named.

#include "sim/Scenario.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace qvr::sim;

namespace qvr::test {

class TestSimScenario : public QObject {
    Q_OBJECT
private slots:
    void builtInHeadIsHealthy() {
        const Scenario s = Scenario::healthy();
        QCOMPARE(s.record(), healthyRecord());
        QCOMPARE(s.record().size(), 64);
        QVERIFY(s.record().startsWith("QVR10012341.9510600 QVR QVR"));
        QCOMPARE(s.words[0], std::uint16_t(0x5156)); // 'Q' 'V'
        QCOMPARE(s.words[1], std::uint16_t(0xFFFF));
        QCOMPARE(s.boards.size(), 1);
        QCOMPARE(s.boards[0].number, 0);
        QCOMPARE(s.boards[0].name, QString("PCI-DAS08"));
        QVERIFY(!s.film.present);
        QCOMPARE(s.holder, Holder::Film);
        QCOMPARE(s.filters.inserted, Filter::None);
        QCOMPARE(s.gain, 1.9);
        QCOMPARE(s.conversionUs, 25);
    }

    void quietHeadIsExactAndInstant() {
        const Scenario s = Scenario::quiet();
        QCOMPARE(s.noise, 0.0);
        QCOMPARE(s.conversionUs, 0);
        QCOMPARE(s.record(), healthyRecord());
    }

    void recordBytesNotGivenAreFF() {
        Scenario s;
        s.setRecord("ABC");
        QCOMPARE(s.words[0], std::uint16_t(0x4142));
        QCOMPARE(s.words[2], std::uint16_t(0x43FF));
        QCOMPARE(s.words[4], std::uint16_t(0xFFFF));
        QCOMPARE(s.words[3], std::uint16_t(0xFFFF));
        QCOMPARE(s.record(), QByteArray("ABC") + QByteArray(61, '\xff'));
    }

    void emptyScenarioIsTheHealthyHead() {
        QString error;
        const auto s = parseScenario("{}", &error);
        QVERIFY2(s, qPrintable(error));
        QCOMPARE(s->record(), healthyRecord());
        QCOMPARE(s->lamp, Scenario::healthy().lamp);
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
        QCOMPARE(s->gain, 10.0);
        QCOMPARE(s->lamp, -5.0);
        QCOMPARE(s->noise, 1000.0);
        QCOMPARE(s->seed, std::uint64_t(99));
        QCOMPARE(s->conversionUs, 0);
        QVERIFY(s->film.present);
        QCOMPARE(s->film.od[1], 10.0);
        QVERIFY(s->button);
        QCOMPARE(s->holder, Holder::Filter);
        QCOMPARE(s->filters.od[2], 3.0);
        QCOMPARE(s->filters.inserted, Filter::Dark);
        QCOMPARE(s->faults.failEvery[int(CallKind::AIn)], 10);
        QCOMPARE(s->faults.failEvery[int(CallKind::GetBoardName)], 1);
        QCOMPARE(s->faults.failEvery[int(CallKind::DOut)], 0);
        QCOMPARE(s->faults.failStatus, 7);
        QVERIFY(s->faults.noBoard && s->faults.otherModel && s->faults.blankEeprom);
        QVERIFY(s->faults.deadConverter && s->faults.disconnected);
        QCOMPARE(s->faults.doStuck, 0);
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
        QTest::newRow("not JSON") << QByteArray("{\"gain\": ") << "not valid JSON";
        QTest::newRow("not an object") << QByteArray("[1]") << "must be a JSON object";
        QTest::newRow("unknown key")
            << QByteArray(R"({"gian": 1})") << "scenario key \"gian\": unknown key";
        QTest::newRow("gain 0") << QByteArray(R"({"gain": 0})")
                                << "scenario key \"gain\": 0 is out of range (above 0 to 10)";
        QTest::newRow("gain above 10") << QByteArray(R"({"gain": 10.5})") << "\"gain\": 10.5";
        QTest::newRow("gain as text")
            << QByteArray(R"({"gain": "1.9"})") << "\"gain\": expected a number";
        QTest::newRow("lamp below -5") << QByteArray(R"({"lamp": -5.01})") << "\"lamp\"";
        QTest::newRow("negative noise") << QByteArray(R"({"noise": -1})") << "\"noise\"";
        QTest::newRow("noise above 1000") << QByteArray(R"({"noise": 1001})") << "\"noise\"";
        QTest::newRow("fractional seed")
            << QByteArray(R"({"seed": 1.5})") << "\"seed\": expected a whole number";
        QTest::newRow("negative conversion")
            << QByteArray(R"({"conversion_us": -1})") << "\"conversion_us\"";
        QTest::newRow("film od above 10")
            << QByteArray(R"({"film": {"od": [1, 10.1]}})") << "\"film.od[1]\"";
        QTest::newRow("film od one value")
            << QByteArray(R"({"film": {"od": [1]}})") << "\"film.od\": expected a list of 2 ods";
        QTest::newRow("film unknown key")
            << QByteArray(R"({"film": {"in": true}})") << "\"film.in\": unknown key";
        QTest::newRow("film present as number") << QByteArray(R"({"film": {"present": 1}})")
                                                << "\"film.present\": expected true or false";
        QTest::newRow("button as text") << QByteArray(R"({"button": "yes"})") << "\"button\"";
        QTest::newRow("holder unknown") << QByteArray(R"({"holder": "box"})")
                                        << "\"holder\": expected one of \"film\", \"filter\"";
        QTest::newRow("filter od negative")
            << QByteArray(R"({"filters": {"dark": -0.1}})") << "\"filters.dark\"";
        QTest::newRow("filter inserted unknown")
            << QByteArray(R"({"filters": {"inserted": "grey"}})") << "\"filters.inserted\"";
        QTest::newRow("record too long")
            << QByteArray("{\"record\": \"" + QByteArray(65, 'Q') + "\"}")
            << "\"record\": longer than 64";
        QTest::newRow("record beyond one byte")
            << QByteArray(R"({"record": "Q\u20ac"})") << "\"record\": character U+20ac";
        QTest::newRow("record and words")
            << QByteArray(R"({"record": "Q", "words": []})") << "\"words\": give either";
        QTest::newRow("words too few")
            << QByteArray(R"({"words": [1, 2]})") << "\"words\": expected a list of 64";
        QTest::newRow("boards not a list") << QByteArray(R"({"boards": {}})") << "\"boards\"";
        QTest::newRow("board without name")
            << QByteArray(R"({"boards": [{"number": 0}]})") << "\"boards[0].name\": missing";
        QTest::newRow("board number 200")
            << QByteArray(R"({"boards": [{"number": 200, "name": "X"}]})")
            << "\"boards[0].number\"";
        QTest::newRow("board twice")
            << QByteArray(R"({"boards": [{"number": 1, "name": "A"}, {"number": 1, "name": "B"}]})")
            << "\"boards[1].number\": board 1 is listed twice";
        QTest::newRow("board name too long")
            << QByteArray(R"({"boards": [{"number": 1, "name": "ABCDEFGHIJKLMNOPQRSTUVWXY"}]})")
            << "\"boards[0].name\"";
        QTest::newRow("board type 0")
            << QByteArray(R"({"boards": [{"number": 1, "name": "A", "type": 0}]})")
            << "\"boards[0].type\"";
        QTest::newRow("faults unknown")
            << QByteArray(R"({"faults": {"smoke": true}})") << "\"faults.smoke\": unknown key";
        QTest::newRow("fail unknown call") << QByteArray(R"({"faults": {"fail": {"cbAOut": 1}}})")
                                           << "\"faults.fail.cbAOut\": unknown key";
        QTest::newRow("fail negative")
            << QByteArray(R"({"faults": {"fail": {"cbAIn": -1}}})") << "\"faults.fail.cbAIn\"";
        QTest::newRow("fail status 0")
            << QByteArray(R"({"faults": {"fail_status": 0}})") << "\"faults.fail_status\"";
        QTest::newRow("do stuck at 2") << QByteArray(R"({"faults": {"do_stuck": 2}})")
                                       << "\"faults.do_stuck\": expected 0, 1 or null";
        QTest::newRow("undriven do 2") << QByteArray(R"({"undriven_do": 2})") << "\"undriven_do\"";
        QTest::newRow("event without at")
            << QByteArray(R"({"events": [{"lamp": 1}]})") << "\"events[0].at\": missing";
        QTest::newRow("event at negative")
            << QByteArray(R"({"events": [{"at": -1}]})") << "\"events[0].at\"";
        QTest::newRow("event bad value")
            << QByteArray(R"({"events": [{"at": 1}, {"at": 2, "film": {"od": [0, 11]}}]})")
            << "\"events[1].film.od[1]\"";
        QTest::newRow("event in an event") << QByteArray(R"({"events": [{"at": 1, "events": []}]})")
                                           << "\"events[0].events\": unknown key";
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
            QVERIFY(!s->events.empty());
        }
    }
};

} // namespace qvr::test

QTEST_APPLESS_MAIN(qvr::test::TestSimScenario)
#include "test_sim_scenario.moc"
