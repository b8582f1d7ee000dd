// The command line in process, on a scratch database and a scripted reader: exit statuses,
// the JSON shapes scripts rely on, and read from the first refusal to a corrected record.

#include "FakeReader.h"
#include "FakeSigning.h"
#include "dose/cli/Cli.h"
#include "dose/store/Store.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace qvr::dose;
using namespace qvr::dose::test;

class TestDoseCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out_, err_;
    ReaderItems readerItems_ = readyItems();
    QStringList absorbances_;
    QDateTime now_{QDate(2026, 12, 7), QTime(9, 0), Qt::UTC};
    QMap<int, ReaderItems> readerChanges_;
    int lots_ = 0;

    int run(const QString& line) {
        return runArgs(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }
    int runArgs(const QStringList& args) {
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
        env.reader = [this] {
            return std::make_unique<FakeReader>(readerItems_, absorbances_, readerChanges_);
        };
        return runCli(args, env);
    }
    QJsonValue json(const QString& line) {
        const int status = run(line + QStringLiteral(" --json"));
        if (status != 0)
            qWarning("%s -> %d: %s", qPrintable(line), status, qPrintable(err_));
        return QJsonDocument::fromJson(out_.toUtf8()).isArray()
                   ? QJsonValue(QJsonDocument::fromJson(out_.toUtf8()).array())
                   : QJsonValue(QJsonDocument::fromJson(out_.toUtf8()).object());
    }
    QString writeFile(const QString& name, const QByteArray& content) {
        QFile f(dir_.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return f.fileName();
    }

private slots:
    void initTestCase() {
        QCOMPARE(
            run("batch add LOT-A --thickness-um 50 --u-thickness-um 0.8 --background 600=0.12"), 0);
        const QString csv = QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv");
        QCOMPARE(run("calibration import " + csv +
                     " --batch LOT-A --head 1234 --wavelength 600 "
                     "--certificate CERT-7 --valid-until 2027-06-30"),
                 0);
        QCOMPARE(out_, QStringLiteral("1\n")); // the id alone
        now_ = now_.addDays(-2);               // imported when it was still valid
        QCOMPARE(run("calibration import " + csv +
                     " --batch LOT-A --head 1234 --wavelength 600 "
                     "--valid-until 2026-12-06"),
                 0); // 2: expired yesterday
        now_ = now_.addDays(2);
        QCOMPARE(run("calibration fit 1"), 0);
        QCOMPARE(run("calibration fit 2 --model power"), 0);
        QCOMPARE(run("job add TRAIN --training --dmin 5 --dmax 30"), 0);
        QCOMPARE(run("job add REAL --product syringes"), 0);
    }

    void exitStatus_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error"); // the start of the one line on the error stream
        QTest::newRow("help") << "--help" << 0 << "";
        QTest::newRow("command help") << "calibration fit --help" << 0 << "";
        QTest::newRow("nothing") << "" << 2 << "Usage: qvr100dose";
        QTest::newRow("unknown command") << "frobnicate" << 2 << "qvr100dose: unknown command";
        QTest::newRow("missing argument")
            << "batch add --thickness-um 5" << 2 << "qvr100dose: batch add: an argument is missing";
        QTest::newRow("missing option")
            << "batch add X" << 2 << "qvr100dose: batch add needs --thickness-um";
        QTest::newRow("not a number") << "batch add X --thickness-um thick" << 2
                                      << "qvr100dose: --thickness-um \"thick\" is not a number";
        QTest::newRow("foreign option")
            << "batch list --model poly1" << 2 << "qvr100dose: batch list takes no option --model";
        QTest::newRow("bad model")
            << "calibration fit 1 --model poly9" << 2 << "qvr100dose: --model is one of";
        QTest::newRow("limits crossed")
            << "job add X --dmin 5 --dmax 4" << 2 << "qvr100dose: --dmin must be below --dmax";
        QTest::newRow("no reason") << "record correct 1 --thickness-um 50" << 2
                                   << "qvr100dose: record correct needs --reason";
        QTest::newRow("duplicate batch")
            << "batch add LOT-A --thickness-um 50" << 1 << "qvr100dose: batch LOT-A already exists";
        QTest::newRow("no such batch") << "batch show NOPE" << 1 << "qvr100dose: no batch NOPE";
        QTest::newRow("expired calibration") << "dose --calibration 2 --absorbance 1" << 1
                                             << "qvr100dose: calibration 2 expired on 2026-12-06";
        QTest::newRow("unfitted wavelength")
            << "calibration import /nonexistent.csv --batch LOT-A --head 1 --wavelength 510" << 1
            << "qvr100dose: cannot read /nonexistent.csv";
        QTest::newRow("amend without reason") << "calibration amend 1 --certificate C-2" << 2
                                              << "qvr100dose: calibration amend needs --reason";
        QTest::newRow("amend with a bad date")
            << "calibration amend 1 --valid-until 2027-02-30 --reason late" << 2
            << "qvr100dose: --valid-until";
        QTest::newRow("amend unknown calibration")
            << "calibration amend 99 --certificate C-2 --reason late" << 1
            << "qvr100dose: no calibration 99";
        QTest::newRow("amend with nothing")
            << "calibration amend 1 --reason late" << 1 << "qvr100dose: nothing to add";
        QTest::newRow("amend unknown batch") << "batch amend NOPE --background 600=0.1 --reason x"
                                             << 1 << "qvr100dose: no batch NOPE";
        QTest::newRow("batch amend without reason") << "batch amend LOT-A --background 600=0.1" << 2
                                                    << "qvr100dose: batch amend needs --reason";
        QTest::newRow("uncertainty without its background")
            << "batch amend LOT-A --u-background 510=0.003 --reason x" << 1
            << "qvr100dose: batch LOT-A has no background at 510 nm";
        QTest::newRow("uncertainty without a background at add")
            << "batch add LOT-Z --thickness-um 50 --u-background 600=0.003" << 2
            << "qvr100dose: --u-background gives an uncertainty at 600 nm";
        QTest::newRow("uncertainty out of range")
            << "batch add LOT-Z --thickness-um 50 --background 600=0.1 --u-background 600=2" << 2
            << "qvr100dose: --u-background U 2 is outside its range";
        QTest::newRow("dose") << "dose --calibration 1 --absorbance 1.0" << 0 << "";
        QTest::newRow("verify") << "verify" << 0 << "";
        QTest::newRow("verify unknown hash") << "verify --expect " + QString(64, QLatin1Char('0'))
                                             << 1 << "qvr100dose: the chain does not contain 0000";
        QTest::newRow("verify half a hash")
            << "verify --expect 00ff" << 2 << "qvr100dose: --expect needs a chain head";
        QTest::newRow("verify no hash")
            << "verify --expect=" << 2 << "qvr100dose: --expect needs a chain head";
    }
    void exitStatus() {
        QFETCH(QString, line);
        QFETCH(int, status);
        QFETCH(QString, error);
        QCOMPARE(run(line), status);
        QVERIFY2(error.isEmpty() ? err_.isEmpty() : err_.startsWith(error), qPrintable(err_));
        if (status == 1)
            QCOMPARE(err_.count(QLatin1Char('\n')), 1);
    }

    void jsonShapes() {
        // A rejected fit is stored and printed whole, and exits 1.
        QCOMPARE(run("calibration fit 1 --model poly2 --json"), 1);
        const QJsonObject fit = QJsonDocument::fromJson(out_.toUtf8()).object();
        for (const char* key :
             {"id", "model", "coefficients", "std_errors", "residuals_percent", "rms_percent", "r2",
              "range_kGy", "accepted", "rejections", "outliers", "chain_head"})
            QVERIFY2(fit.contains(QLatin1String(key)), key);
        QCOMPARE(fit["coefficients"].toArray().size(), 3);
        QCOMPARE(fit["std_errors"].toArray().size(), 3);
        QCOMPARE(fit["residuals_percent"].toArray().size(), 36);
        QCOMPARE(fit["range_kGy"].toArray(), (QJsonArray{1, 50}));
        QCOMPARE(fit["accepted"].toBool(), false);
        QVERIFY(!fit["rejections"].toArray().isEmpty());
        QVERIFY(fit["outliers"].isArray());
        const QJsonObject power = json("calibration fit 1 --model power").toObject();
        QCOMPARE(power["coefficients"].toArray().size(), 2);
        QCOMPARE(power["accepted"].toBool(), true);
        QCOMPARE(power["rejections"].toArray(), QJsonArray());

        // Beyond the range: no number where the dose would be, and exit 1.
        QCOMPARE(run("dose --calibration 1 --absorbance 3.2 --json"), 1);
        const QJsonObject dose = QJsonDocument::fromJson(out_.toUtf8()).object();
        for (const char* key :
             {"dose_kGy", "U_kGy", "response", "in_range", "components", "flags", "reason"})
            QVERIFY2(dose.contains(QLatin1String(key)), key);
        QCOMPARE(dose["in_range"].toBool(), false); // above 50 kGy
        QVERIFY(dose["dose_kGy"].isNull());
        QCOMPARE(dose["flags"].toArray(), (QJsonArray{"above_range"}));
        QCOMPARE(dose["components"].toObject().size(), 8);
        QCOMPARE(dose["components"].toObject()["systematic"].toArray(), QJsonArray{"reference"});
        QVERIFY(dose["k"].isDouble());
    }

    void badRowImportsNothing() {
        const int before = json("calibration list").toArray().size();
        const QString csv = writeFile("bad.csv", "dose_kGy,absorbance,thickness_um,u_dose_percent\n"
                                                 "1,0.2,50,1.2\n2,0.3,50,1.2\n5,0.5O,50,1.2\n");
        QCOMPARE(run("calibration import " + csv + " --batch LOT-A --head 1234 --wavelength 600"),
                 1);
        QVERIFY2(err_.contains(QLatin1String("line 4: absorbance \"0.5O\" is not a number")),
                 qPrintable(err_));
        QCOMPARE(json("calibration list").toArray().size(), before);
        QCOMPARE(run("calibration import " + csv + " --batch LOT-A --head 1234 --wavelength 510"),
                 1);
    }

    void readRefusals_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QVariant>("value"); // the item rules themselves: test_dose_core
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("simulated, not training") << "Simulated" << QVariant(true) << "REAL"
                                                 << "the reader runs on the simulated head";
        QTest::newRow("wrong wavelength") << "WL" << QVariant("510 nm") << "TRAIN"
                                          << "the reader is at \"510 nm\"";
        QTest::newRow("over range") << "A" << QVariant(">3.0") << "TRAIN"
                                    << "reading 1: the absorbance is above 3.0";
        QTest::newRow("error") << "A" << QVariant("Error") << "TRAIN"
                               << "reading 1: the reader shows Error";
    }
    void readRefusals() {
        QFETCH(QString, item);
        QFETCH(QVariant, value);
        QFETCH(QString, job);
        QFETCH(QString, refusal);
        readerItems_ = readyItems();
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        if (item == QLatin1String("A"))
            absorbances_[0] = value.toString();
        else
            readerItems_.insert(item, value);
        const int before = json("record list --job " + job).toArray().size();
        QCOMPARE(run("read --job " + job + " --dosimeter D9 --calibration 1"), 1);
        QVERIFY2(err_.startsWith("qvr100dose: " + refusal), qPrintable(err_));
        QCOMPARE(json("record list --job " + job).toArray().size(), before);
    }

    // Whatever ends the reading period part way through a read discards it whole, saying why.
    void readIsOneReadingPeriod_data() {
        QTest::addColumn<ReaderItems>("before3"); // changes before the third of six readings
        QTest::addColumn<ReaderItems>("before4");
        QTest::addColumn<QString>("why");
        QTest::newRow("restart") << ReaderItems{{kOwnerItem, ":1.9"}} << ReaderItems{}
                                 << "the reader was restarted before reading 3 of 6";
        QTest::newRow("new zero") << ReaderItems{{"Zeros", "2"}} << ReaderItems{}
                                  << "the reader took a new zero before reading 3 of 6";
        QTest::newRow("wavelength")
            << ReaderItems{{"WL", "510 nm"}, {"Zeros", "2"}}
            << ReaderItems{{"WL", "600 nm"}, {"Zeros", "3"}}
            << "the wavelength changed from 600 nm to 510 nm before reading 3 of 6";
        QTest::newRow("film swap")
            << ReaderItems{{"lblPresent", "No film"}} << ReaderItems{{"lblPresent", "Film"}}
            << "the film switch opened before reading 3 of 6";
        QTest::newRow("state") << ReaderItems{{"State", "filter check"}}
                               << ReaderItems{{"State", "reading"}}
                               << "the reader stopped reading (state: filter check)";
    }
    void readIsOneReadingPeriod() {
        QFETCH(ReaderItems, before3);
        QFETCH(ReaderItems, before4);
        QFETCH(QString, why);
        readerItems_ = readyItems();
        absorbances_ = {" 1.000", " 1.001", " 1.002", " 0.998", " 0.999", " 1.000"};
        readerChanges_ = {{2, before3}, {3, before4}};
        const int before = json("record list --job TRAIN").toArray().size();
        QCOMPARE(run("read --job TRAIN --dosimeter D8 --calibration 1 --readings 6"), 1);
        readerChanges_.clear();
        QVERIFY2(err_.startsWith("qvr100dose: " + why), qPrintable(err_));
        QVERIFY2(err_.contains("nothing is recorded"), qPrintable(err_));
        QCOMPARE(json("record list --job TRAIN").toArray().size(), before);
    }

    // Readings, a reread, a correction that keeps the earlier version, the export and verify.
    void readRecordsCorrectsAndExports() {
        readerItems_ = readyItems();
        absorbances_ = {" 1.000", " 1.004", " 0.998"};
        const QJsonObject first =
            json("read --job TRAIN --dosimeter D1 --calibration 1 --readings 3").toObject();
        QCOMPARE(first["readings"].toArray().size(), 3);
        QCOMPARE(first["zero"].toString(), QStringLiteral("1.9876"));
        QCOMPARE(first["flags"].toArray(), (QJsonArray{"training", "simulated"}));
        QVERIFY(first["in_range"].toBool());
        QVERIFY(first["components"].toObject()["reading_percent"].toDouble() > 0.1); // the spread
        const QString headAfterFirst = first["chain_head"].toString();
        QCOMPARE(run("verify --expect " + headAfterFirst), 0);

        absorbances_ = {" 1.010"};
        const QJsonObject reread =
            json("read --job TRAIN --dosimeter D1 --calibration 1 --readings 1").toObject();
        QVERIFY(reread["flags"].toArray().contains("reread_1"));

        const int id = first["record"].toInt();
        const QJsonObject fixed =
            json(QStringLiteral("record correct %1 --thickness-um 51.5").arg(id) +
                 " --reason gauge")
                .toObject();
        QCOMPARE(fixed["version"].toInt(), 2);
        QCOMPARE(fixed["thickness_um"].toDouble(), 51.5);
        QVERIFY(fixed["dose_kGy"].toDouble() < first["dose_kGy"].toDouble());

        const QJsonArray all = json("record list --job TRAIN").toArray();
        QCOMPARE(all.size(), 3);
        QCOMPARE(all[0].toObject()["superseded"].toBool(), true);
        QCOMPARE(all[1].toObject()["reason"].toString(), QStringLiteral("gauge"));

        const QString file = dir_.filePath("train.csv");
        QCOMPARE(run("export --job TRAIN --csv " + file), 0);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 5); // chain head, header, three versions
        QVERIFY(lines[0].startsWith("# qvr100dose records of job TRAIN, chain head "));
        QVERIFY(lines[1].startsWith("record,version,superseded,dosimeter"));
        QCOMPARE(run("verify --expect " + headAfterFirst.toUpper()), 0);
    }

    // A blank film (at or below the background) is an original observation: recorded without a
    // dose, said so, exit 0, and the chain still verifies.
    void blankFilmIsRecordedWithoutADose() {
        readerItems_ = readyItems();
        absorbances_ = {" 0.100", " 0.101", " 0.099"};
        QCOMPARE(run("read --job TRAIN --dosimeter BLANK --calibration 1"), 0);
        QVERIFY2(out_.contains("recorded: < 1 kGy, below the calibrated range (the response "),
                 qPrintable(out_));
        QVERIFY(out_.contains("flags: training, simulated, below_range"));
        absorbances_ = {" 0.100", " 0.101", " 0.099"};
        const QJsonObject r = json("read --job TRAIN --dosimeter BLANK --calibration 1").toObject();
        QVERIFY(r["dose_kGy"].isNull() && r["U_kGy"].isNull());
        QCOMPARE(r["in_range"].toBool(), false);
        QCOMPARE(run("dose --calibration 1 --absorbance 0.1"), 1);
        QVERIFY2(err_.startsWith("qvr100dose: the response -0.4 mm-1 is below the mean response "
                                 "of the lowest dose level"),
                 qPrintable(err_));
        QCOMPARE(run("verify"), 0);
        QCOMPARE(run("record list --job TRAIN"), 0);
        QVERIFY(!out_.contains(
            QRegularExpression("\\bnan\\b", QRegularExpression::CaseInsensitiveOption)));

        // The export's k: the JSON's where there is a U, empty where there is none.
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run("read --job TRAIN --dosimeter GOOD --calibration 1"), 0);
        const QJsonArray listed = json("record list --job TRAIN").toArray();
        QCOMPARE(run("export --job TRAIN --csv -"), 0);
        const QList<QByteArray> rows = out_.toUtf8().trimmed().split('\n');
        const QList<QByteArray> header = rows[1].split(',');
        const qsizetype k = header.indexOf("k");
        QCOMPARE(header[k - 1], QByteArray("U_kGy"));
        QCOMPARE(rows.size(), listed.size() + 2);
        for (qsizetype i = 0; i < listed.size(); ++i) {
            const QJsonObject r = listed[i].toObject();
            const QByteArray field = rows[i + 2].split(',')[k];
            QCOMPARE(field.isEmpty(), r["U_kGy"].isNull());
            if (!field.isEmpty())
                QCOMPARE(field.toDouble(), r["k"].toDouble());
        }
    }

    // The coverage check: the same seed gives the same report, with a level for each inner
    // dose level of the calibration.
    void coverageCheckIsRepeatable() {
        const QJsonObject a = json("calibration check 1 --monte-carlo 30 --seed 4").toObject();
        QCOMPARE(a["simulations"].toInt(), 30);
        const QJsonArray levels = a["levels"].toArray();
        QCOMPARE(levels.size(), 7); // 9 levels from 1 to 50 kGy
        for (const QJsonValue& l : levels)
            for (const char* key : {"dose_kGy", "coverage_percent", "U_over_error"})
                QVERIFY2(l.toObject()[QLatin1String(key)].isDouble(), key);
        QCOMPARE(json("calibration check 1 --monte-carlo 30 --seed 4").toObject(), a);
        QVERIFY(json("calibration check 1 --monte-carlo 30 --seed 5").toObject() != a);
        QCOMPARE(run("calibration check 1 --monte-carlo 5"), 2); // at least 10
    }

    // U to two significant digits, the dose to the same place, unit and k, the same k that
    // expanded U and that the budget's line names.
    void doseIsWrittenAsAMetrologistWritesIt() {
        QCOMPARE(run("dose --calibration 1 --absorbance 0.62"), 0);
        const QRegularExpressionMatch m =
            QRegularExpression("^dose (\\d+)\\.(\\d+) ± (\\d+)\\.(\\d+) kGy \\(k = (2\\.\\d+)\\)\n")
                .match(out_);
        QVERIFY2(out_.contains("effective degrees of freedom, k = " + m.captured(5) + "\n"),
                 qPrintable(out_));
        QVERIFY2(out_.contains("reference dose 1.20 % (systematic)"), qPrintable(out_));
        QVERIFY2(m.hasMatch(), qPrintable(out_));
        QCOMPARE(m.captured(2).size(), m.captured(4).size());
        const QString u = QString(m.captured(3) + m.captured(4)).remove(QRegularExpression("^0+"));
        QCOMPARE(u.size(), 2);
    }

    // A job that is not training is read only after a passing reader check.
    void readerCheckIsAskedForRealJobs() {
        readerItems_ = readyItems();
        readerItems_.insert("Simulated", false);
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run("read --job REAL --dosimeter R1 --calibration 1"), 1);
        QVERIFY2(err_.startsWith("qvr100dose: head 1234 has no filter check at 600 nm"),
                 qPrintable(err_));
        {
            auto store = Store::open(dir_.filePath(QStringLiteral("dose.sqlite")), [] {
                return QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
            });
            QVERIFY(store);
            QVERIFY((*store)->addCheck({0, "1234", 600, "ND-1", 1, {}, true, "ana", {}}));
        }
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run("read --job REAL --dosimeter R1 --calibration 1"), 0);
        QVERIFY(!out_.contains("training job"));
        QCOMPARE(run("lab set --check-interval 0.5"), 0); // the check is an hour old
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run("read --job REAL --dosimeter R2 --calibration 1"), 1);
        QVERIFY2(err_.contains("the lab's interval is 0.5 h"), qPrintable(err_));
        QCOMPARE(run("lab set --check-interval day"), 0);

        // Without a certificate a calibration is not traceable: said at import; a real job
        // refuses it, a training job takes it.
        const QString csv = QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv");
        QCOMPARE(run("calibration import " + csv +
                     " --batch LOT-A --head 1234 --wavelength 600 --valid-until 2027-06-30"),
                 0);
        const QString id = out_.trimmed();
        QVERIFY2(err_.contains("serves training jobs only"), qPrintable(err_));
        QCOMPARE(run("calibration fit " + id + " --model power"), 0);
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run("read --job REAL --dosimeter R3 --calibration " + id), 1);
        QVERIFY2(err_.contains("no certificate: it serves training jobs only, and job REAL"),
                 qPrintable(err_));
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run("read --job TRAIN --dosimeter R3 --calibration " + id), 0);

        // The certificate arrives: a new version with its reason, after which the calibration
        // serves the real job; the read made before keeps the version it used.
        QCOMPARE(runArgs({"calibration", "amend", id, "--certificate", "CERT-9", "--reason",
                          "certificate received"}),
                 0);
        QVERIFY2(out_.startsWith("calibration " + id + " is now at version 2\nchain head "),
                 qPrintable(out_));
        absorbances_ = {" 1.000", " 1.001", " 1.002"};
        QCOMPARE(run("read --job REAL --dosimeter R3 --calibration " + id), 0);
        const QJsonObject real = json("record list --job REAL").toArray().last().toObject();
        QCOMPARE(real["calibration_version"].toInt(), 2);
        const QJsonObject training = json("record list --job TRAIN").toArray().last().toObject();
        QCOMPARE(training["dosimeter"].toString(), QStringLiteral("R3"));
        QCOMPARE(training["calibration_version"].toInt(), 1);
        QCOMPARE(run("calibration show " + id), 0);
        QVERIFY2(out_.contains("certificate CERT-9") &&
                     out_.contains(QRegularExpression("version 2 by tester at \\S+: certificate "
                                                      "CERT-9; why: certificate received")),
                 qPrintable(out_));
        QCOMPARE(run("verify"), 0);
    }

    // A background's uncertainty counts only where the read's A0 is not the calibration's: a
    // background measured again later, never the one the calibration was made with.
    void backgroundUncertaintyOnlyWhereA0Differs_data() {
        QTest::addColumn<QString>("added");
        QTest::addColumn<QString>("amended"); // empty: no new version
        QTest::addColumn<bool>("counts");
        QTest::newRow("the calibration's own") << "--background 600=0.12 --u-background 600=0.004"
                                               << "" << false;
        QTest::newRow("its uncertainty given later") << "--background 600=0.12"
                                                     << "--u-background 600=0.004" << false;
        QTest::newRow("measured again")
            << "--background 600=0.12"
            << "--background 600=0.125 --u-background 600=0.004" << true;
        QTest::newRow("measured again, uncertainty not stated")
            << "--background 600=0.12 --u-background 600=0.004"
            << "--background 600=0.125" << false;
    }
    void backgroundUncertaintyOnlyWhereA0Differs() {
        QFETCH(QString, added);
        QFETCH(QString, amended);
        QFETCH(bool, counts);
        const QString lot = QStringLiteral("LOT-U%1").arg(++lots_);
        QCOMPARE(run("batch add " + lot + " --thickness-um 50 " + added), 0);
        const QString csv = QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv");
        QCOMPARE(run("calibration import " + csv + " --batch " + lot +
                     " --head 1234 --wavelength 600 --certificate C-1 --valid-until 2027-06-30"),
                 0);
        const QString id = out_.trimmed();
        QCOMPARE(run("calibration fit " + id + " --model power"), 0);
        const QJsonObject before =
            json("dose --calibration " + id + " --absorbance 1.0").toObject();
        if (!amended.isEmpty())
            QCOMPARE(run("batch amend " + lot + " " + amended + " --reason again"), 0);
        const QJsonObject after = json("dose --calibration " + id + " --absorbance 1.0").toObject();
        const double background = after["components"]["background_percent"].toDouble();
        QCOMPARE(background > 0, counts);
        QCOMPARE(before["components"]["background_percent"].toDouble(), 0.0);
        // A new A0 moves the dose whether or not its uncertainty was stated.
        QCOMPARE(after["dose_kGy"].toDouble() != before["dose_kGy"].toDouble(),
                 amended.contains("--background"));
    }

    // qvr100dose(1) names every command and every option the program lists.
    void manPageHasEveryCommand() {
        QFile file(QStringLiteral(QVR100_SOURCE_DIR "/docs/man/qvr100dose.1"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString man = QString::fromUtf8(file.readAll())
                                .replace(QStringLiteral("\\-"), QStringLiteral("-"))
                                .replace(QStringLiteral("\""), QString());
        const QString usage = programUsage();
        const QString list =
            usage.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
        QVERIFY(!list.isEmpty());
        for (const QString& line : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QStringList name;
            for (const QString& word : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (word.front().isLower() && !word.startsWith(QLatin1Char('-')) && name.size() < 2)
                    name << word;
                else
                    break;
            }
            QVERIFY2(man.contains(name.join(QLatin1Char(' '))), qPrintable(line));
            static const QRegularExpression option(QStringLiteral("--[a-z-]+"));
            for (auto m = option.globalMatch(line); m.hasNext();) {
                const QString o = m.next().captured();
                QVERIFY2(man.contains(o), qPrintable(o + QStringLiteral(" of ") + line));
            }
        }
    }

    void versionIsPrinted() {
        QCOMPARE(run("--version"), 0);
        QCOMPARE(out_, QStringLiteral("qvr100dose " QVR100_VERSION "\n"));
        QCOMPARE(run("--version frobnicate"), 2);
    }

    // The lab's minimums are chained rows that may be raised, never lowered below the least.
    void labSettingsJudgeTheNextFit() {
        QCOMPARE(run("lab set --min-replicates 2"), 2);
        QVERIFY(err_.contains("from 3 (the least the lab may ask)"));
        QCOMPARE(run("lab set --min-levels 10 --reason QP-7 rev 3"), 2); // one word per value
        QCOMPARE(run("lab set --min-levels 10 --reason QP-7"), 0);
        QCOMPARE(run("lab show"), 0);
        QVERIFY2(out_.contains("min_levels = 10  (set by tester at 2026-12-07T09:00:00.000Z: "
                               "QP-7)"),
                 qPrintable(out_));
        QCOMPARE(run("calibration fit 1"), 1);
        QVERIFY2(err_.contains("9 dose levels from 1 to 50 kGy; at least 10 are needed"),
                 qPrintable(err_));
        QCOMPARE(run("dose --calibration 1 --absorbance 0.62"), 1); // its latest fit is rejected
        QCOMPARE(run("lab set --min-levels 5"), 0);
        QCOMPARE(run("calibration fit 1"), 0);
        const QJsonArray settings = json("lab show").toArray();
        QCOMPARE(settings.size(), 6);
        QCOMPARE(settings[0].toObject()["value"].toString(), QStringLiteral("5"));
        QCOMPARE(settings[5].toObject()["value"].toString(), QStringLiteral("15"));
        // The window's idle lock can be shortened or lengthened, never turned off.
        QCOMPARE(run("lab set --idle-lock-minutes 0"), 2);
        QVERIFY2(err_.contains("a whole number of minutes from 1 to 480"), qPrintable(err_));
        QCOMPARE(run("verify"), 0);
    }

    // A refit without a film names it and the reason; neither goes without the other.
    void refitWithoutAFilm() {
        QCOMPARE(run("calibration fit 1 --exclude C05"), 2);
        QCOMPARE(run("calibration fit 1 --reason creased"), 2);
        const QJsonObject fit =
            json("calibration fit 1 --exclude C05 --exclude C06 --reason creased").toObject();
        QCOMPARE(fit["excluded"].toArray(), (QJsonArray{"C05", "C06"}));
        QCOMPARE(fit["exclusion_reason"].toString(), QStringLiteral("creased"));
        QCOMPARE(run("calibration show 1"), 0);
        QVERIFY(out_.contains("excluded: C05, C06 (reason: creased)"));
        QCOMPARE(run("calibration fit 1 --exclude C99 --reason typo"), 1);
        QVERIFY(err_.contains("calibration 1 has no point C99 to exclude"));
        QCOMPARE(run("calibration fit 1"), 0);
    }

    // The decision rule is the job's: guarded unless the lab chose simple acceptance for it.
    void decisionRuleIsTheJobs() {
        QCOMPARE(run("job add SIMPLE --training --dmin 9.9 --decision-rule simple"), 0);
        QCOMPARE(run("job add GUARDED --training --dmin 9.9"), 0);
        QCOMPARE(run("job add OTHER --decision-rule lenient"), 2);
        for (const char* job : {"SIMPLE", "GUARDED"}) {
            readerItems_ = readyItems();
            absorbances_ = {" 0.620"}; // about 6.3 kGy
            QCOMPARE(run(QStringLiteral("read --job %1 --dosimeter D --calibration 1 --readings 1")
                             .arg(QLatin1String(job))),
                     0);
        }
        QCOMPARE(run("job show SIMPLE"), 0);
        QVERIFY(out_.contains("Decision rule: simple acceptance"));
        QCOMPARE(json("job show GUARDED").toObject()["decision_rule"].toString(),
                 QStringLiteral("guarded"));
    }

    // One file of films read at both wavelengths: a calibration per wavelength in one write,
    // the second naming the first; refused whole when either cannot be made.
    void bothWavelengthsFromOneFile() {
        const QString dual =
            writeFile("dual.csv", "dosimeter,dose_kGy,absorbance_600,"
                                  "absorbance_510,thickness_um,u_dose_percent\n"
                                  "W1,5,0.31,0.22,50,1.2\nW2,10,0.62,0.41,50,1.2\n");
        const int before = json("calibration list").toArray().size();
        QCOMPARE(run("calibration import " + dual + " --batch LOT-A --head 1234"), 1);
        QVERIFY2(err_.contains(QLatin1String("batch LOT-A has no background absorbance at 510 nm")),
                 qPrintable(err_));
        QCOMPARE(json("calibration list").toArray().size(), before);

        QCOMPARE(run("batch add LOT-W --thickness-um 50 --u-thickness-um 0.8 --background "
                     "600=0.12 --background 510=0.09"),
                 0);
        QCOMPARE(run("calibration import " + dual + " --batch LOT-W --head 1234 --wavelength 550"),
                 1);
        QVERIFY2(err_.contains(QLatin1String("gives absorbances at 600 and 510 nm, not at 550 nm")),
                 qPrintable(err_));
        const QString single =
            writeFile("single.csv", "dose_kGy,absorbance,thickness_um\n5,0.3,50\n");
        QCOMPARE(run("calibration import " + single +
                     " --batch LOT-W --head 1234 "
                     "--u-dose-percent 1"),
                 1);
        QVERIFY2(err_.contains(QLatin1String("its wavelength is needed")), qPrintable(err_));

        QCOMPARE(run("calibration import " + dual + " --batch LOT-W --head 1234 --wavelength 510"),
                 0);
        const QStringList ids = out_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(ids.size(), 2);
        QVERIFY2(err_.contains(QLatin1String("made from the same films")), qPrintable(err_));
        const QJsonObject first = json("calibration show " + ids[0]).toObject();
        const QJsonObject second = json("calibration show " + ids[1]).toObject();
        QCOMPARE(first["wavelength_nm"].toInt(), 600);
        QCOMPARE(first["a0"].toDouble(), 0.12);
        QVERIFY(first["same_films_as"].isNull());
        QCOMPARE(second["wavelength_nm"].toInt(), 510);
        QCOMPARE(second["a0"].toDouble(), 0.09);
        QCOMPARE(second["same_films_as"].toInteger(), ids[0].toLongLong());
        QCOMPARE(second["points"].toArray()[1].toObject()["absorbance"].toDouble(), 0.41);
        QCOMPARE(second["points"].toArray()[1].toObject()["dosimeter"].toString(),
                 QStringLiteral("W2"));
        QCOMPARE(run("verify"), 0);
    }

    // One film through both calibrations of the same films: agreement, a mismatch, one
    // wavelength beyond its range, and a calibration imported alone.
    void bothDosesOfOneFilm() {
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
        QCOMPARE(run("batch add LOT-D --thickness-um 50 --u-thickness-um 0.8 --background "
                     "600=0.12 --background 510=0.09"),
                 0);
        QCOMPARE(run("calibration import " + writeFile("both.csv", dual) +
                     " --batch LOT-D --head 1234 --certificate CERT-8 --valid-until 2027-06-30"),
                 0);
        const QStringList ids = out_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(ids.size(), 2);
        QCOMPARE(run("calibration fit " + ids[0]), 0);
        QCOMPARE(run("calibration fit " + ids[1]), 0);
        const QString dose =
            "dose --calibration " + ids[0] + " --reader-sd 0.002 --absorbance 1.0 ";

        // 0.618 at 510 nm is the film's 1.0 at 600 nm.
        QJsonObject o = json(dose + "--second-absorbance 0.618").toObject();
        const QJsonArray doses = o["doses"].toArray();
        QCOMPARE(doses.size(), 2);
        QCOMPARE(doses[0]["wavelength_nm"].toInt(), 600);
        QCOMPARE(doses[1]["wavelength_nm"].toInt(), 510);
        QCOMPARE(doses[1]["calibration"].toInteger(), ids[1].toLongLong());
        const double d1 = doses[0]["dose_kGy"].toDouble(), d2 = doses[1]["dose_kGy"].toDouble();
        const QJsonObject agreement = o["agreement"].toObject();
        QVERIFY(agreement["consistent"].toBool());
        QCOMPARE(agreement["difference_kGy"].toDouble(), d1 - d2);
        QVERIFY(std::fabs(d1 - d2) <= agreement["U_difference_kGy"].toDouble());
        const double combined = o["dose_kGy"].toDouble();
        QVERIFY(combined >= std::min(d1, d2) && combined <= std::max(d1, d2));
        QVERIFY(o["U_kGy"].toDouble() <=
                std::max(doses[0]["U_kGy"].toDouble(), doses[1]["U_kGy"].toDouble()));
        QCOMPARE(o["flags"].toArray(), QJsonArray{});
        QCOMPARE(run(dose + "--second-absorbance 0.618"), 0);
        QVERIFY2(out_.contains(QLatin1String("600 nm and 510 nm agree")), qPrintable(out_));

        // A damaged film: a quarter more response at 510 nm.
        o = json(dose + "--second-absorbance 0.75").toObject();
        QVERIFY(!o["agreement"].toObject()["consistent"].toBool());
        QVERIFY(o["dose_kGy"].isNull());
        QCOMPARE(o["flags"].toArray(), QJsonArray{"wavelength_mismatch"});
        QCOMPARE(run(dose + "--second-absorbance 0.75"), 1);
        QVERIFY2(err_.contains(QLatin1String("differ by")), qPrintable(err_));
        QVERIFY2(out_.contains(QLatin1String("flags: wavelength_mismatch")), qPrintable(out_));

        // Beyond the 510 nm range: the 600 nm dose alone.
        QCOMPARE(run(dose + "--second-absorbance 3.5 --json"), 0);
        o = QJsonDocument::fromJson(out_.toUtf8()).object();
        QVERIFY(o["agreement"].isNull());
        QCOMPARE(o["dose_kGy"].toDouble(), d1);
        QCOMPARE(o["doses"].toArray()[1].toObject()["flags"].toArray(), QJsonArray{"above_range"});
        QVERIFY(o["note"].toString().startsWith(QLatin1String("only 600 nm")));

        QCOMPARE(run("dose --calibration 1 --absorbance 1.0 --second-absorbance 0.6"), 1);
        QVERIFY2(err_.contains(QLatin1String("calibration 1 (600 nm) was imported alone")),
                 qPrintable(err_));
    }
};

QTEST_GUILESS_MAIN(TestDoseCli)
#include "test_dose_cli.moc"
