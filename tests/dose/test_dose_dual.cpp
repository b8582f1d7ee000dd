// A job that reads both wavelengths, on the command line against a scripted reader: the read,
// the switch and the switch back, the two doses and their agreement as recorded, and each way
// the read may fail part way.

#include "FakeReader.h"
#include "FakeSigning.h"
#include "dose/cli/Cli.h"
#include "dose/core/JobSummary.h"
#include "dose/store/Store.h"
#include "dose/usecases/JobReport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace qvr::dose;
using namespace qvr::dose::test;

namespace {

// The command line's reader is made afresh for each command: this one stays the test's.
class Borrowed : public ReaderSource {
public:
    explicit Borrowed(ReaderSource& reader) : reader_(reader) {}
    Outcome<ReaderItems> items() override { return reader_.items(); }
    Outcome<ReaderItems> nextReading(int ms) override { return reader_.nextReading(ms); }
    Outcome<Done> selectWavelength(bool secondary) override {
        return reader_.selectWavelength(secondary);
    }

private:
    ReaderSource& reader_;
};

// Three readings at 600 nm; after the switch one that settles and three at 510 nm; one back
// at 600 nm.
QStringList film(const QString& at600, const QString& at510) {
    return {at600, at600, at600, at510, at510, at510, at510, at600};
}

using Changes = QMap<int, ReaderItems>;
using Refusals = QMap<int, QString>;

} // namespace

class TestDoseDual : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out_, err_;
    std::unique_ptr<FakeReader> reader_;
    QDateTime now_{QDate(2026, 12, 7), QTime(9, 0), Qt::UTC};
    QString first_, second_; // the calibrations at 600 and 510 nm

    int run(const QString& line) {
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        CliEnv env;
        qvr::test::withFakeSigning(env);
        env.out = &out;
        env.err = &err;
        env.now = [this] { return now_; };
        env.operatorName = QStringLiteral("tester");
        env.database = dir_.filePath(QStringLiteral("dose.sqlite"));
        env.reader = [this] { return std::make_unique<Borrowed>(*reader_); };
        return runCli(line.split(QLatin1Char(' '), Qt::SkipEmptyParts), env);
    }
    QJsonObject readJson(const QString& dosimeter, const QStringList& absorbances,
                         const QString& job = QStringLiteral("DUAL")) {
        reader_ = std::make_unique<FakeReader>(readyItems(), absorbances);
        if (run(QStringLiteral("read --job %1 --dosimeter %2 --calibration %3 --json")
                    .arg(job, dosimeter, second_)) != 0)
            qWarning("%s", qPrintable(err_));
        return QJsonDocument::fromJson(out_.toUtf8()).object();
    }
    QJsonArray records(const QString& job = QStringLiteral("DUAL")) {
        run(QStringLiteral("record list --job %1 --json").arg(job));
        return QJsonDocument::fromJson(out_.toUtf8()).array();
    }

private slots:
    void initTestCase() {
        // The example's films at 510 nm respond 0.6 times as much, with a scatter of their own.
        QFile example(QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        QByteArray dual = "dosimeter,dose_kGy,absorbance_600,absorbance_510,thickness_um,"
                          "u_dose_percent\n";
        int row = 0;
        for (const QByteArray& line : example.readAll().split('\n').mid(1)) {
            const QList<QByteArray> f = line.split(',');
            if (f.size() != 5)
                continue;
            const double a510 =
                0.09 + 0.6 * (f[2].toDouble() - 0.12) + (row++ % 2 ? 1 : -1) * 0.001;
            dual += f[0] + ',' + f[1] + ',' + f[2] + ',' + QByteArray::number(a510, 'f', 4) + ',' +
                    f[3] + ',' + f[4] + '\n';
        }
        QFile csv(dir_.filePath(QStringLiteral("both.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly) && csv.write(dual) == dual.size());
        csv.close();
        QCOMPARE(run("batch add LOT-D --thickness-um 50 --u-thickness-um 0.8 --background "
                     "600=0.12 --background 510=0.09"),
                 0);
        QCOMPARE(run("calibration import " + csv.fileName() +
                     " --batch LOT-D --head 1234 --certificate CERT-8 --valid-until 2027-06-30"),
                 0);
        const QStringList ids = out_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(ids.size(), 2);
        first_ = ids[0];
        second_ = ids[1];
        QCOMPARE(run("calibration fit " + first_), 0);
        QCOMPARE(run("calibration fit " + second_), 0);
        QCOMPARE(run("job add DUAL --training --wavelengths both"), 0);
        QCOMPARE(run("job add REAL --wavelengths both"), 0);
        QCOMPARE(run("job add DUAL --wavelengths three"), 2);
    }

    // 0.618 at 510 nm is the film's 1.000 at 600 nm: both doses, their agreement, the
    // combination; the reader asked to the other wavelength and back.
    void agreeingDosesAreCombined() {
        const QJsonObject o = readJson("F1", film(" 1.000", " 0.618"));
        QCOMPARE(reader_->selected, (QStringList{"primary", "secondary"}));
        const QJsonArray doses = o["doses"].toArray();
        QCOMPARE(doses.size(), 2);
        QCOMPARE(doses[0]["wavelength_nm"].toInt(), 600);
        QCOMPARE(doses[0]["calibration"].toInteger(), first_.toLongLong());
        QCOMPARE(doses[1]["wavelength_nm"].toInt(), 510);
        QCOMPARE(doses[1]["calibration"].toInteger(), second_.toLongLong());
        QCOMPARE(doses[1]["calibration_version"].toInt(), 1);
        QCOMPARE(doses[1]["absorbance"].toDouble(), 0.618);
        QCOMPARE(o["second_readings"].toArray().size(), 3);
        const double d1 = doses[0]["dose_kGy"].toDouble(), d2 = doses[1]["dose_kGy"].toDouble();
        const QJsonObject agreement = o["agreement"].toObject();
        QVERIFY(agreement["consistent"].toBool());
        QCOMPARE(agreement["difference_kGy"].toDouble(), d1 - d2);
        const double dose = o["dose_kGy"].toDouble();
        QVERIFY(dose >= std::min(d1, d2) && dose <= std::max(d1, d2));
        const double w = doses[0]["weight"].toDouble();
        QCOMPARE(dose, w * d1 + (1 - w) * d2);
        QVERIFY(o["U_kGy"].toDouble() > 0);
        QCOMPARE(o["dual_outcome"].toString(), QStringLiteral("combined"));
        QVERIFY(!o["flags"].toArray().contains(QStringLiteral("wavelength_mismatch")));
        QVERIFY(o["in_range"].toBool());
        // The budget of the combination adds up to its U.
        const double combined = o["components"]["combined_percent"].toDouble();
        QCOMPARE(qRound(o["k"].toDouble() * dose * combined / 100 * 1e6),
                 qRound(o["U_kGy"].toDouble() * 1e6));

        const QJsonObject listed = records().last().toObject();
        QCOMPARE(listed["doses"], o["doses"]);
        QCOMPARE(listed["agreement"], o["agreement"]);
        QCOMPARE(run("verify"), 0);
        reader_ = std::make_unique<FakeReader>(readyItems(), QStringList{});
        QCOMPARE(run("read --job DUAL --dosimeter F1T --calibration " + first_), 1);
    }

    // A damaged film reads a quarter high at 510 nm: recorded, flagged, no dose, out of the
    // decision.
    void disagreeingDosesAreFlagged() {
        const QJsonObject o = readJson("F2", film(" 1.000", " 0.750"));
        QVERIFY(o["flags"].toArray().contains(QStringLiteral("wavelength_mismatch")));
        QVERIFY(!o["flags"].toArray().contains(QStringLiteral("no_dose")));
        QVERIFY(o["dose_kGy"].isNull());
        QVERIFY(!o["in_range"].toBool());
        QVERIFY(!o["agreement"]["consistent"].toBool());
        QVERIFY(o["doses"][1]["dose_kGy"].toDouble() > o["doses"][0]["dose_kGy"].toDouble());
        reader_ = std::make_unique<FakeReader>(readyItems(), film(" 1.000", " 0.750"));
        QCOMPARE(run("read --job DUAL --dosimeter F2B --calibration " + second_), 0);
        QVERIFY2(out_.contains(QLatin1String("DISAGREE")), qPrintable(out_));
        QVERIFY2(out_.contains(QLatin1String("510 nm, calibration ")), qPrintable(out_));
    }

    // Beyond the 510 nm range: the 600 nm dose is the film's, and the record says so.
    void oneWavelengthOutOfRange() {
        const QJsonObject o = readJson("F3", film(" 1.000", " 3.500"));
        QCOMPARE(o["dual_outcome"].toString(), QStringLiteral("first_only"));
        QVERIFY(o["agreement"].isNull());
        QCOMPARE(o["dose_kGy"].toDouble(), o["doses"][0]["dose_kGy"].toDouble());
        QCOMPARE(o["doses"][1]["flags"].toArray(), QJsonArray{"above_range"});
        QVERIFY(o["dual_note"].toString().startsWith(QLatin1String("only 600 nm")));
        QVERIFY(o["in_range"].toBool());
    }

    // The export has the second read's columns, filled only for a read at both wavelengths.
    void exportHasBothReads() {
        const QJsonObject dual = readJson("F7", film(" 1.000", " 0.618"));
        reader_ = std::make_unique<FakeReader>(readyItems(), QStringList{" 1.0", " 1.0", " 1.0"});
        QCOMPARE(run("job add ONE --training"), 0);
        QCOMPARE(run("read --job ONE --dosimeter S1 --calibration " + first_), 0);
        for (const QString job : {"DUAL", "ONE"}) {
            QCOMPARE(run("record list --csv --job " + job), 0);
            const QStringList lines = out_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            const QStringList header = lines.first().split(QLatin1Char(','));
            const QStringList row = lines.last().split(QLatin1Char(','));
            QCOMPARE(row.size(), header.size());
            auto field = [&](const char* name) { return row[header.indexOf(QLatin1String(name))]; };
            if (job == u"ONE") {
                for (qsizetype i = header.indexOf("first_dose_kGy"); i < row.size(); ++i)
                    QCOMPARE(row[i], QString());
                continue;
            }
            QCOMPARE(field("second_wavelength_nm"), QStringLiteral("510"));
            QCOMPARE(field("second_calibration"), second_);
            QCOMPARE(field("second_readings"), QStringLiteral("0.618 0.618 0.618"));
            QCOMPARE(field("second_dose_kGy").toDouble(), dual["doses"][1]["dose_kGy"].toDouble());
            QCOMPARE(field("first_dose_kGy").toDouble(), dual["doses"][0]["dose_kGy"].toDouble());
            QCOMPARE(field("dose_kGy").toDouble(), dual["dose_kGy"].toDouble());
            QCOMPARE(field("U_difference_kGy").toDouble(),
                     dual["agreement"]["U_difference_kGy"].toDouble());
            QCOMPARE(field("consistent"), QStringLiteral("yes"));
        }
    }

    // The report gives each film's two doses and the rule; a mismatch is red.
    void reportGivesBothDoses() {
        auto store = Store::open(dir_.filePath(QStringLiteral("dose.sqlite")));
        QVERIFY(store);
        const auto report = buildJobReport(**store, QStringLiteral("DUAL"), now_);
        QVERIFY2(report, qPrintable(report ? QString() : report.error()));
        const QString html = report->html;
        QVERIFY(html.contains(QLatin1String("Both wavelengths")));
        QVERIFY(html.contains(QLatin1String("agree when |D1 - D2| &lt;= k u(D1 - D2)")));
        QVERIFY(html.contains(QStringLiteral("510 nm, calibration %1: ").arg(second_)));
        QVERIFY(html.contains(QLatin1String("DISAGREE")));
        const auto records = (*store)->records(QStringLiteral("DUAL"));
        const auto job = (*store)->job(QStringLiteral("DUAL"));
        QVERIFY(records && job);
        for (const Record& r : *records)
            if (r.dosimeter == u"F2")
                QCOMPARE(int(recordTone(r, *job)), int(Tone::Bad));
    }

    // Whatever fails part way, nothing is recorded and the reader goes back to where it was.
    void failuresPartWay_data() {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<Refusals>("refusals");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("selected");
        const QStringList both{"primary", "secondary"};
        QTest::newRow("switch refused")
            << Changes{}
            << Refusals{{0, "the reader refused to change to its primary wavelength "
                            "(Busy): a message of the reader waits for the user"}}
            << "(Busy)" << QStringList{"primary"};
        QTest::newRow("film out at 510 nm")
            << Changes{{5, {{"lblPresent", "No film"}}}} << Refusals{}
            << "the film switch opened before reading 2 of 3 at 510 nm" << both;
        QTest::newRow("new zero while switching")
            << Changes{{3, {{"Zeros", "2"}}}} << Refusals{} << "the reader took a new zero" << both;
        QTest::newRow("restart at 600 nm")
            << Changes{{1, {{kOwnerItem, ":1.9"}}}} << Refusals{}
            << "the reader was restarted before reading 2 of 3 at 600 nm" << QStringList{};
        QTest::newRow("fault at 510 nm, switch back refused")
            << Changes{{4, {{"Fault", "1010"}}}} << Refusals{{1, "the reader refused: a fault"}}
            << "Also, switching back to 600 nm failed: the reader refused: a fault" << both;
    }
    void failuresPartWay() {
        QFETCH(Changes, changes);
        QFETCH(Refusals, refusals);
        QFETCH(QString, error);
        QFETCH(QStringList, selected);
        const int before = records().size();
        reader_ = std::make_unique<FakeReader>(readyItems(), film(" 1.000", " 0.618"), changes);
        reader_->refusals = refusals;
        QCOMPARE(run("read --job DUAL --dosimeter FX --calibration " + first_), 1);
        QVERIFY2(err_.contains(error), qPrintable(err_));
        QVERIFY2(err_.contains(QLatin1String("nothing is recorded")), qPrintable(err_));
        QCOMPARE(reader_->selected, selected);
        QCOMPARE(records().size(), before);
    }

    // Read whole, the film is recorded even when the reader does not go back; said, not silent.
    void failedSwitchBackIsSaid() {
        reader_ = std::make_unique<FakeReader>(readyItems(), film(" 1.000", " 0.618"));
        reader_->refusals = {{1, QStringLiteral("the reader refused: ReadOnly")}};
        QCOMPARE(run("read --job DUAL --dosimeter F4 --calibration " + first_), 0);
        QVERIFY2(err_.contains(QLatin1String("warning: switching back to 600 nm failed: the "
                                             "reader refused: ReadOnly")),
                 qPrintable(err_));
        QVERIFY(out_.contains(QLatin1String("agree")));
    }

    void secondCalibrationIsNeeded() {
        QCOMPARE(run("calibration import " QVR100_SOURCE_DIR "/examples/film-calibration.csv "
                     "--batch LOT-D --head 1234 --wavelength 600 --valid-until 2027-06-30"),
                 0);
        const QString alone = out_.trimmed();
        QCOMPARE(run("calibration fit " + alone), 0);
        reader_ = std::make_unique<FakeReader>(readyItems(), film(" 1.000", " 0.618"));
        QCOMPARE(run("read --job DUAL --dosimeter F5 --calibration " + alone), 1);
        QVERIFY2(
            err_.contains(QStringLiteral("calibration %1 (600 nm) was imported alone").arg(alone)),
            qPrintable(err_));
        QVERIFY(reader_->selected.isEmpty());
    }

    // A job that is not training needs a passing check at each wavelength.
    void readerCheckAtBothWavelengths() {
        ReaderItems real = readyItems();
        real.insert("Simulated", false);
        {
            auto store = Store::open(dir_.filePath(QStringLiteral("dose.sqlite")), [] {
                return QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
            });
            QVERIFY(store);
            QVERIFY((*store)->addCheck({0, "1234", 600, "ND-1", 1, {}, true, "ana", {}}));
        }
        reader_ = std::make_unique<FakeReader>(real, film(" 1.000", " 0.618"));
        QCOMPARE(run("read --job REAL --dosimeter R1 --calibration " + first_), 1);
        QVERIFY2(err_.contains(QLatin1String("head 1234 has no filter check at 510 nm")),
                 qPrintable(err_));
        {
            auto store = Store::open(dir_.filePath(QStringLiteral("dose.sqlite")), [] {
                return QDateTime(QDate(2026, 12, 7), QTime(8, 30), Qt::UTC);
            });
            QVERIFY(store);
            QVERIFY((*store)->addCheck({0, "1234", 510, "ND-1", 1, {}, true, "ana", {}}));
        }
        reader_ = std::make_unique<FakeReader>(real, film(" 1.000", " 0.618"));
        QCOMPARE(run("read --job REAL --dosimeter R1 --calibration " + first_), 0);
    }

    // A corrected thickness gives both doses again; the chain still verifies.
    void correctionRecomputesBothDoses() {
        const QJsonObject o = readJson("F6", film(" 1.000", " 0.618"));
        const qint64 id = o["record"].toInteger();
        QCOMPARE(run(QStringLiteral("record correct %1 --thickness-um 52 --reason gauged").arg(id)),
                 0);
        const QJsonObject corrected = records().last().toObject();
        QCOMPARE(corrected["version"].toInt(), 2);
        QVERIFY(corrected["doses"][1]["dose_kGy"].toDouble() <
                o["doses"][1]["dose_kGy"].toDouble());
        QVERIFY(corrected["agreement"]["consistent"].toBool());
        QCOMPARE(run("verify"), 0);
    }
};

QTEST_GUILESS_MAIN(TestDoseDual)
#include "test_dose_dual.moc"
