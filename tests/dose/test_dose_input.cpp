// What the command line takes in, case by case: texts (refused naming the field and character,
// or kept exactly and shown safely), numbers (one form, physical ranges), files read and
// database locations. In process, on scratch databases and a scripted reader.

#include "FakeReader.h"
#include "FakeSigning.h"
#include "dose/cli/Cli.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace qvr::dose;
using namespace qvr::dose::test;

namespace {

QString u(char16_t c) {
    return QString(QChar(c));
}

const QString kCsv = QStringLiteral(QVR100_SOURCE_DIR "/examples/film-calibration.csv");
const QString kPercents = QStringLiteral("%1%2%3%4%5%6%7%8%9");

} // namespace

class TestDoseInput : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out_, err_;

    // {dir} in an argument is the scratch folder.
    int run(QStringList args, bool mayCreate = true) {
        for (QString& a : args)
            a.replace(QStringLiteral("{dir}"), dir_.path());
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        CliEnv env;
        qvr::test::withFakeSigning(env);
        env.out = &out;
        env.err = &err;
        env.now = [] { return QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC); };
        env.operatorName = QStringLiteral("tester");
        env.database = dir_.filePath(QStringLiteral("dose.sqlite"));
        env.mayCreateDatabase = mayCreate;
        env.reader = [] {
            return std::make_unique<FakeReader>(readyItems(),
                                                QStringList{" 1.000", " 1.001", " 1.002"});
        };
        return runCli(args, env);
    }
    QString file(const QString& name, const QByteArray& content) {
        QFile f(dir_.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(f.fileName()));
        return f.fileName();
    }
    static QStringList import(const QString& csv, const QStringList& more = {},
                              const QString& head = "1234", const QString& wavelength = "600") {
        return QStringList{"calibration", "import",       csv,       "--batch", "LOT-A", "--head",
                           head,          "--wavelength", wavelength} +
               more;
    }

private slots:
    void initTestCase() {
        QCOMPARE(run({"batch", "add", "LOT-A", "--thickness-um", "50", "--background", "600=0.12"}),
                 0);
        QCOMPARE(run(import(kCsv, {"--u-dose-percent", "1.2"})), 0);
        QCOMPARE(run({"calibration", "fit", "1"}), 0);
        QCOMPARE(run({"job", "add", "TRAIN", "--training"}), 0);
        QCOMPARE(run({"read", "--job", "TRAIN", "--dosimeter", "D1", "--calibration", "1",
                      "--readings", "2"}),
                 0);
    }

    void texts_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // in what the command wrote
        QTest::addColumn<QStringList>("show");
        QTest::addColumn<QString>("shown"); // in what show wrote
        const QStringList read{"read", "--job", "TRAIN", "--calibration", "1", "--dosimeter"};
        const QByteArray joined("dosimeter,dose_kGy,absorbance,thickness_um\n"
                                "C1,1,0.2,50\n\xEF\xBB\xBF"
                                "C2,2,0.3,50\n");
        QTest::newRow("job id noncharacter")
            << QStringList{"job", "add", "J-" + u(0xFFFF)} << 1
            << "job id \"J-<U+FFFF>\" holds U+FFFF" << QStringList() << "";
        QTest::newRow("batch id reversed mark")
            << QStringList{"batch", "add", "B" + u(0xFFFE), "--thickness-um", "50"} << 1
            << "batch id \"B<U+FFFE>\" holds U+FFFE" << QStringList() << "";
        QTest::newRow("dosimeter after a byte-order mark")
            << read + QStringList{u(0xFEFF) + "D2"} << 1 << "holds U+FEFF, a byte-order mark"
            << QStringList() << "";
        QTest::newRow("dosimeter with ESC")
            << read + QStringList{"D\x1b[2J"} << 1 << "dosimeter id \"D<U+001B>[2J\" holds U+001B"
            << QStringList() << "";
        QTest::newRow("head with CR")
            << import(kCsv, {"--u-dose-percent", "1"}, "12\r34") << 1
            << "head serial \"12<U+000D>34\" holds U+000D" << QStringList() << "";
        QTest::newRow("certificate with BEL")
            << import(kCsv, {"--certificate", "C\a", "--u-dose-percent", "1"}) << 1
            << "certificate \"C<U+0007>\" holds U+0007" << QStringList() << "";
        QTest::newRow("id with a direction override")
            << QStringList{"job", "add", "J" + u(0x202E) + "gel"} << 1 << "holds U+202E"
            << QStringList() << "";
        QTest::newRow("id of 65 characters")
            << QStringList{"job", "add", QString(65, QLatin1Char('j'))} << 1 << "at most 64"
            << QStringList() << "";
        QTest::newRow("comment noncharacter")
            << read + QStringList{"D3", "--comment", "ok" + u(0xFFFF)} << 1
            << "comment \"ok<U+FFFF>\" holds U+FFFF" << QStringList() << "";
        QTest::newRow("reason noncharacter")
            << QStringList{"record",   "correct",      "1", "--thickness-um", "50",
                           "--reason", u(0xFDD0) + "r"}
            << 1 << "reason \"<U+FDD0>r\" holds U+FDD0" << QStringList() << "";
        QTest::newRow("product with NUL")
            << QStringList{"job", "add", "J-NUL", "--product", QStringLiteral("a") + QChar(0) + "b"}
            << 1 << "product \"a<U+0000>b\" holds U+0000" << QStringList() << "";
        QTest::newRow("comment of 2001 characters")
            << read + QStringList{"D4", "--comment", QString(2001, QLatin1Char('c'))} << 1
            << "at most 2000" << QStringList() << "";
        QTest::newRow("CSV line not UTF-8")
            << import(file("latin1.csv", "dosimeter,dose_kGy,absorbance,thickness_um,"
                                         "u_dose_percent\nC1,1,0.2,50,1\nC\xe9,2,0.3,50,1\n"))
            << 1 << "latin1.csv: line 3: not UTF-8 text" << QStringList() << "";
        QTest::newRow("CSV files joined with their marks")
            << import(file("joined.csv", joined), {"--u-dose-percent", "1"}) << 1
            << "line 3: the dosimeter id \"<U+FEFF>C2\" holds U+FEFF" << QStringList() << "";
        QTest::newRow("binary file as CSV")
            << import(QStringLiteral("/bin/true")) << 1 << "line 1: " << QStringList() << "";
        QTest::newRow("ESC in free text kept, shown escaped")
            << QStringList{"job", "add", "J-ESC", "--product", "red\x1b[31m"} << 0 << ""
            << QStringList{"job", "show", "J-ESC"} << "red<U+001B>[31m";
        QTest::newRow("ESC in free text exact in JSON")
            << QStringList{"job", "list"} << 0 << ""
            << QStringList{"--json", "job", "show", "J-ESC"} << "red\\u001b[31m";
        QTest::newRow("free text put in NFC")
            << QStringList{"job", "add", "J-NFD", "--product", "e" + u(0x301)} << 0 << ""
            << QStringList{"job", "show", "J-NFD"} << u(0xE9);
        QTest::newRow("id found typed either way")
            << QStringList{"job", "add", "J" + u(0xE9)} << 0 << ""
            << QStringList{"job", "show", "Je" + u(0x301)} << "J" + u(0xE9);
        QTest::newRow("any script, astral too")
            << QStringList{"job", "add", "J-UNI", "--product", "中文 עברית 😀 Ω"} << 0 << ""
            << QStringList{"job", "show", "J-UNI"} << "中文 עברית 😀 Ω";
    }
    void texts() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(QStringList, show);
        QFETCH(QString, shown);
        QCOMPARE(run(args), status);
        QVERIFY2((out_ + err_).contains(said), qPrintable(out_ + err_));
        if (status != 0)
            QCOMPARE(err_.count(QLatin1Char('\n')), status == 1 ? 1 : 2);
        if (!show.isEmpty()) {
            QCOMPARE(run(show), 0);
            QVERIFY2(out_.contains(shown), qPrintable(out_));
        }
        // Whatever went in or out, nothing reached the terminal raw and the chain is whole.
        static const QRegularExpression raw(QStringLiteral("[\\x00-\\x09\\x0b-\\x1f\\x7f]"));
        QVERIFY(!(out_ + err_).contains(raw));
        QCOMPARE(run({"verify"}), 0);
    }

    // Every text that goes in holds placeholders; every output shows them as typed.
    void messagesKeepPercentSigns() {
        const QString b = "B" + kPercents, h = "H" + kPercents, c = "C" + kPercents,
                      j = "J" + kPercents, d = "D" + kPercents, p = "P" + kPercents;
        QCOMPARE(run({"batch", "add", b, "--thickness-um", "50", "--background", "600=0.12",
                      "--description", p}),
                 0);
        QCOMPARE(run({"calibration", "import", kCsv, "--batch", b, "--head", h, "--wavelength",
                      "600", "--certificate", c, "--u-dose-percent", "1"}),
                 0);
        const QString cal = out_.trimmed();
        QCOMPARE(run({"calibration", "fit", cal}), 0);
        QCOMPARE(run({"job", "add", j, "--training", "--product", p}), 0);
        QString all;
        const QList<QStringList> commands{{"batch", "list"},
                                          {"batch", "show", b},
                                          {"calibration", "list"},
                                          {"calibration", "show", cal},
                                          {"job", "show", j},
                                          {"job", "list"},
                                          {"record", "list", "--job", j},
                                          {"export", "--job", j, "--csv", "-"},
                                          {"calibration", "import", "/nonexistent" + p},
                                          {"job", "show", "nope" + p}};
        for (const QStringList& command : commands) {
            run(command);
            all += out_ + err_;
        }
        // The read names a head that is not the reader's: refused, the head quoted in the line.
        run({"read", "--job", j, "--dosimeter", d, "--calibration", cal, "--comment", p});
        all += out_ + err_;
        for (const QString& text : {b, h, c, j, p})
            QVERIFY2(all.contains(text), qPrintable(text));
        for (const QString& text : {b, h, c, j, d, p})
            all.remove(text);
        QVERIFY2(!all.contains(QRegularExpression(QStringLiteral("%[1-9]"))), qPrintable(all));
    }

    void numbers_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const QStringList dose{"dose", "--calibration", "1", "--absorbance"};
        const QStringList batch{"batch", "add", "LOT-N", "--thickness-um"};
        auto csv = [this](const QString& name, const QByteArray& row) {
            return import(file(name, "dose_kGy,absorbance,thickness_um,u_dose_percent\n" + row));
        };
        QTest::newRow("sign twice")
            << dose + QStringList{"+-1"} << 2 << "--absorbance \"+-1\" is not a";
        QTest::newRow("comma") << dose + QStringList{"0,5"} << 2 << "is not a number";
        QTest::newRow("negative absorbance") << dose + QStringList{"-5"} << 2 << "from 0 to 4";
        QTest::newRow("huge absorbance") << dose + QStringList{"1e300"} << 2 << "from 0 to 4";
        QTest::newRow("overflow") << dose + QStringList{"1e400"} << 2 << "outside its range";
        QTest::newRow("a number") << dose + QStringList{" +1.25e0 "} << 0 << "kGy";
        QTest::newRow("tiny thickness")
            << batch + QStringList{"1e-300"} << 2 << "from 5 to 3000 µm";
        QTest::newRow("infinite uncertainty")
            << batch + QStringList{"50", "--u-thickness-um", "1e308"} << 2 << "from 0 to 100 µm";
        QTest::newRow("background sign twice")
            << batch + QStringList{"50", "--background", "510=+-0.1"} << 2
            << "--background A0 \"+-0.1\"";
        QTest::newRow("background wavelength")
            << batch + QStringList{"50", "--background", "99999=0.1"} << 2 << "400 to 780 nm";
        QTest::newRow("expired already") << batch + QStringList{"50", "--expires", "2026-12-06"}
                                         << 2 << "--expires 2026-12-06 is already past";
        QTest::newRow("dmin sign twice")
            << QStringList{"job", "add", "J-N", "--dmin", "+-1"} << 2 << "--dmin \"+-1\"";
        QTest::newRow("dmax absurd") << QStringList{"job", "add", "J-N", "--dmax", "1e308"} << 2
                                     << "above 0 and at most 1000 kGy";
        QTest::newRow("wavelength overflow")
            << import(kCsv, {"--u-dose-percent", "1"}, "1234", "99999999999") << 2
            << "--wavelength 99999999999 is outside its range: from 400 to 780 nm";
        QTest::newRow("wavelength fraction")
            << import(kCsv, {"--u-dose-percent", "1"}, "1234", "600.5") << 2
            << "not a whole number";
        QTest::newRow("no reference uncertainty")
            << import(kCsv, {"--u-dose-percent", "0"}) << 2 << "above 0 and at most 50 %";
        QTest::newRow("valid until yesterday")
            << import(kCsv, {"--u-dose-percent", "1", "--valid-until", "2026-12-06"}) << 2
            << "already past";
        QTest::newRow("window crossed")
            << import(kCsv, {"--u-dose-percent", "1", "--window-min-h", "5", "--window-max-h", "1"})
            << 2 << "--window-min-h must be below --window-max-h";
        QTest::newRow("readings none")
            << QStringList{"read", "--job",      "TRAIN", "--dosimeter", "D5", "--calibration",
                           "1",    "--readings", "0"}
            << 2 << "from 1 to 100";
        QTest::newRow("gauge far from nominal")
            << QStringList{"dose", "--calibration",  "1", "--absorbance",
                           "1",    "--thickness-um", "20"}
            << 2 << "more than 20 % from the batch's nominal 50 µm";
        QTest::newRow("gauge far, confirmed")
            << QStringList{"dose", "--calibration",  "1",  "--absorbance",
                           "1",    "--thickness-um", "20", "--confirm-thickness"}
            << 0 << "kGy";
        QTest::newRow("correction far from nominal")
            << QStringList{"record", "correct", "1", "--thickness-um", "61", "--reason", "gauge"}
            << 1 << "--confirm-thickness";
        QTest::newRow("CSV sign twice")
            << csv("a.csv", "1,+-1,50,1\n") << 1 << "line 2: absorbance \"+-1\" is not a number";
        QTest::newRow("CSV dose absurd") << csv("b.csv", "1e308,0.2,50,1\n") << 1
                                         << "line 2: dose_kGy 1e308 is outside its range";
        QTest::newRow("CSV thickness absurd")
            << csv("c.csv", "1,0.2,1e-300,1\n") << 1 << "line 2: thickness_um 1e-300 is outside";
        QTest::newRow("CSV no uncertainty")
            << csv("d.csv", "1,0.2,50,0\n") << 1 << "line 2: u_dose_percent 0 is outside";
    }
    void numbers() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        QCOMPARE(run(args), status);
        QVERIFY2((out_ + err_).contains(said), qPrintable(out_ + err_));
    }

    void filesRead_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("said");
        QTest::newRow("endless device") << "/dev/zero"
                                        << "/dev/zero: not a regular file";
        QTest::newRow("FIFO without a writer") << "{dir}/fifo"
                                               << "fifo: not a regular file";
        QTest::newRow("folder") << "{dir}"
                                << "not a regular file";
        QTest::newRow("above 16 MiB") << "{dir}/big.csv"
                                      << "larger than 16777216 bytes";
    }
    void filesRead() {
        QFETCH(QString, path);
        QFETCH(QString, said);
        ::mkfifo(qPrintable(dir_.filePath(QStringLiteral("fifo"))), 0600);
        QFile big(dir_.filePath(QStringLiteral("big.csv")));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(16 * 1024 * 1024 + 1));
        QCOMPARE(run(import(path, {"--u-dose-percent", "1"})), 1);
        QVERIFY2(err_.contains(said), qPrintable(err_));
    }

    void locations_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("created"); // a path that exists after, or "" for none
        const QString mistyped = QStringLiteral("looks like a mistyped database URL");
        for (const char* url :
             {"postgresql//desk@dbserver.lab/dose", "postgresq://desk@dbserver.lab/dose",
              "postgres;//desk@dbserver.lab/dose", "postgresql:", "postgres", "postgre@db/dose"})
            QTest::addRow("%s", url)
                << QStringList{"--db", url, "job", "add", "J"} << 1 << mistyped << "";
        QTest::newRow("missing file")
            << QStringList{"--db", "{dir}/new/none.sqlite", "job", "list"} << 1
            << "there is no dose database at {dir}/new/none.sqlite: qvr100dose --db "
               "{dir}/new/none.sqlite db init creates one"
            << "";
        QTest::newRow("migrate makes none")
            << QStringList{"--db", "{dir}/none.sqlite", "db", "migrate"} << 1
            << "there is no dose database"
            << "";
        QTest::newRow("empty file") << QStringList{"--db", "{dir}/empty.sqlite", "batch", "list"}
                                    << 1 << "holds no dose database yet"
                                    << "";
        QTest::newRow("folder") << QStringList{"--db", "{dir}", "batch", "list"} << 1
                                << "is not a regular file"
                                << "";
        QTest::newRow("db init creates") << QStringList{"--db", "{dir}/init.sqlite", "db", "init"}
                                         << 0 << "created at schema version"
                                         << "{dir}/init.sqlite";
        QTest::newRow("db copy creates its target")
            << QStringList{"db", "copy", "--from", "{dir}/dose.sqlite", "--to", "{dir}/copy.sqlite"}
            << 0 << "ledger rows copied"
            << "{dir}/copy.sqlite";
        QTest::newRow("db copy needs its source")
            << QStringList{"db", "copy", "--from", "{dir}/gone.sqlite", "--to", "{dir}/c2.sqlite"}
            << 1 << "there is no dose database at {dir}/gone.sqlite"
            << "";
    }
    void locations() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(QString, created);
        said.replace(QStringLiteral("{dir}"), dir_.path());
        created.replace(QStringLiteral("{dir}"), dir_.path());
        file(QStringLiteral("empty.sqlite"), QByteArray());
        const QStringList before = QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(dir_.path()); // where a mistyped URL would land as a relative path
        const int got = run(args, false);
        QDir::setCurrent(cwd);
        QCOMPARE(got, status);
        QVERIFY2(err_.contains(said) || out_.contains(said), qPrintable(out_ + err_));
        QStringList after = QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden);
        if (!created.isEmpty())
            after.removeOne(QFileInfo(created).fileName());
        QCOMPARE(after, before);
    }
};

QTEST_GUILESS_MAIN(TestDoseInput)
#include "test_dose_input.moc"
