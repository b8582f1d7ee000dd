// Signed acts: the signer's password checked by the real PamAuthenticator, run under
// pam_wrapper with a pam_matrix service and password file of the build's own (see
// tests/CMakeLists.txt), never the machine's accounts. The password is typed through an
// injected prompt; the program's terminal prompt is driven by running it without a terminal.

#include "DoseRoles.h"
#include "DoseScenario.h"
#include "MappingStore.h"
#include "PgServer.h"

#include "dose/auth/PamAuthenticator.h"
#include "dose/cli/Cli.h"
#include "dose/core/Canonical.h"
#include "dose/core/Operator.h"
#include "dose/store/Store.h"
#include "dose/usecases/CheckRecording.h"
#include "dose/usecases/JobReview.h"
#include "dose/usecases/RecordCorrection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace qvr;
using namespace qvr::dose;

namespace {

// Answers each request with the next password, or as a program without a terminal would.
class ScriptedPrompt : public PasswordPrompt {
public:
    QList<std::optional<QByteArray>> answers;
    QList<SigningRequest> asked;
    Outcome<QByteArray> password(const SigningRequest& request) override {
        asked << request;
        const std::optional<QByteArray> next =
            answers.isEmpty() ? std::nullopt : answers.takeFirst();
        if (!next)
            return Failure{QStringLiteral("not signed: no terminal")};
        return *next;
    }
};

const QByteArray kBenPassword = "ben-secret";

} // namespace

class TestDoseSigning : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path_;
    QDateTime now_ = QDateTime(QDate(2026, 12, 8), QTime(8, 14), Qt::UTC);
    ScriptedPrompt prompt_;
    PamAuthenticator pam_;
    QString out_, err_;

    Now clock() {
        return [this] { return now_; };
    }

    int runCli(const QString& user, QStringList args) {
        out_.clear();
        err_.clear();
        QTextStream out(&out_), err(&err_);
        CliEnv env;
        env.out = &out;
        env.err = &err;
        env.now = clock();
        env.operatorName = user;
        env.database = path_;
        env.passwords = &prompt_;
        env.authenticator = &pam_;
        args.prepend(QStringLiteral("--db"));
        args.insert(1, path_);
        const int status = qvr::dose::runCli(args, env);
        out.flush();
        err.flush();
        return status;
    }

    QJsonObject shownJob() {
        if (runCli(QStringLiteral("ben"), {"--json", "job", "show", "J-7"}) != 0)
            return {};
        return QJsonDocument::fromJson(out_.toUtf8()).object();
    }

    // The value at path in the JSON a command gives; "last" is an array's last element.
    QJsonValue shown(const QStringList& command, const QStringList& path) {
        if (runCli(QStringLiteral("ben"), QStringList{"--json"} + command) != 0)
            return QJsonValue(QJsonValue::Undefined);
        QJsonDocument doc = QJsonDocument::fromJson(out_.toUtf8());
        QJsonValue v = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
        for (const QString& key : path)
            v = key == QLatin1String("last") ? v.toArray().last() : v.toObject().value(key);
        return v;
    }

    qint64 failuresKept() {
        auto store = Store::open(path_, clock());
        return store ? qint64((*store)->signingFailures(QStringLiteral("ben"))->size()) : -1;
    }

private slots:
    void init() {
        path_ = dir_.filePath(QStringLiteral("%1%2.sqlite")
                                  .arg(QTest::currentTestFunction(), QTest::currentDataTag()));
        auto store = Store::open(path_, clock());
        QVERIFY2(store, qPrintable(store.error()));
        auto seeded = test::seedStore(**store);
        QVERIFY2(seeded, qPrintable(seeded.error()));
        QVERIFY(test::addScenarioRecord(**store, *seeded, 1));
        // A calibration with the levels the lab's minimums ask, whose fit can be accepted.
        Calibration dense = seeded->calibration;
        dense.points.clear();
        for (double d : {1.0, 1.5, 2.0, 3.0, 4.0, 5.0, 7.0, 10.0, 14.0, 20.0, 28.0, 40.0})
            for (int rep = 0; rep < 3; ++rep)
                dense.points.push_back({QStringLiteral("E%1-%2").arg(d).arg(rep), d, 1.2,
                                        test::scenarioAbsorbance(d, rep), 100.0});
        QVERIFY((*store)->addCalibration(dense));
        // A study its maker has finished: nothing blocks its approval by another login.
        QVERIFY(test::storeProduct(**store, test::syntheticProduct()));
        PositionDose late;
        late.runId = QStringLiteral("R2");
        late.position = test::kInvalid;
        late.dosimeter = QStringLiteral("R2/late");
        late.state = PositionState::Valid;
        late.doseKGy = test::fieldDose(1, late.position);
        late.expanded = 0.04 * late.doseKGy;
        late.randomRel = test::kRandom;
        late.systematicRel = test::kSystematic;
        late.operatorName = test::kMaker;
        QVERIFY((*store)->addMappingDoses({late}));
        for (const QString& who : {QStringLiteral("ana"), QStringLiteral("ben"),
                                   QStringLiteral("carl"), QString(test::kMaker)})
            QVERIFY(test::grantRoles(**store, who));
        prompt_ = {};
    }

    void reviewIsSignedOnlyWithTheRightPassword_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QList<std::optional<QByteArray>>>("answers");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("asked");
        QTest::addColumn<qint64>("failures");
        const QStringList approve{"job", "approve", "J-7"};
        const QStringList giveBack{"job", "return", "J-7", "--reason", "D1 reread"};
        using Answers = QList<std::optional<QByteArray>>;
        QTest::newRow("no terminal")
            << "ben" << approve << Answers{std::nullopt} << 1 << "no terminal" << 1 << qint64(0);
        QTest::newRow("wrong password")
            << "ben" << approve << Answers{"ana-secret"} << 1
            << "wrong password for ben: not signed (2 more" << 1 << qint64(1);
        QTest::newRow("another's account") << "carl" << approve << Answers{"ben-secret"} << 1
                                           << "wrong password for carl" << 1 << qint64(0);
        QTest::newRow("approved") << "ben" << approve << Answers{kBenPassword} << 0
                                  << "signed by ben, reviewed and approved, 2026-12-08 08:14 UTC "
                                     "(+01:00)"
                                  << 1 << qint64(0);
        QTest::newRow("returned") << "ben" << giveBack << Answers{kBenPassword} << 0
                                  << "signed by ben, returned, 2026-12-08 08:14 UTC (+01:00)" << 1
                                  << qint64(0);
        // Refused before anyone is asked for a password.
        QTest::newRow("own reads") << "ana" << approve << Answers{"ana-secret"} << 1
                                   << "another login must review it" << 0 << qint64(0);
        QTest::newRow("no role") << "dora" << approve << Answers{"dora-secret"} << 1
                                 << "job approve needs the reviewer role; dora has no role" << 0
                                 << qint64(0);
        QTest::newRow("no reason") << "ben" << QStringList{"job", "return", "J-7", "--reason", " "}
                                   << Answers{kBenPassword} << 2 << "--reason" << 0 << qint64(0);
    }

    void reviewIsSignedOnlyWithTheRightPassword() {
        QFETCH(QString, user);
        QFETCH(QStringList, args);
        QFETCH(QList<std::optional<QByteArray>>, answers);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(int, asked);
        QFETCH(qint64, failures);
        prompt_.answers = answers;
        QCOMPARE(runCli(user, args), status);
        QVERIFY2((out_ + err_).contains(said), qPrintable(out_ + err_));
        QCOMPARE(prompt_.asked.size(), asked);
        if (asked)
            QCOMPARE(prompt_.asked.front().account, user);
        const QJsonArray reviews = shownJob().value("reviews").toArray();
        QCOMPARE(reviews.size(), status == 0 ? 1 : 0);
        if (user == QLatin1String("ben"))
            QCOMPARE(failuresKept(), failures);
    }

    // Accepting a calibration, correcting a record and approving a study, as the review is:
    // each asks its own meaning, counts a wrong password, and keeps its signature in its row.
    void otherActsAreSignedOnlyWithTheRightPassword_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QList<std::optional<QByteArray>>>("answers");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("asked");
        QTest::addColumn<qint64>("failures");
        QTest::addColumn<QStringList>("show"); // the command that gives the signature
        QTest::addColumn<QStringList>("path"); // where in its JSON
        QTest::addColumn<QString>("meaning");  // of the stored signature; none: not signed
        using Answers = QList<std::optional<QByteArray>>;
        const QStringList fit{"calibration", "fit", "2"};
        const QStringList correct{"record",   "correct",      "1", "--thickness-um", "99.5",
                                  "--reason", "gauge reading"};
        const QStringList approve{"mapping", "approve", "S1"};
        const QStringList showFit{"calibration", "show", "2"};
        const QStringList showRecords{"record", "list", "--job", "J-7"};
        const QStringList showStudy{"mapping", "summary", "S1"};
        const QStringList fitPath{"signature"}, recordPath{"last", "signature"},
            studyPath{"approval", "signature"};
        const struct {
            const char* name;
            QStringList args, show, path;
            QString meaning, manifestation;
        } acts[] = {
            {"fit", fit, showFit, fitPath, "accepted calibration",
             "ACCEPTED; signed by ben, accepted calibration, 2026-12-08 08:14 UTC (+01:00)"},
            {"correction", correct, showRecords, recordPath, "corrected record",
             "signed by ben, corrected record, 2026-12-08 08:14 UTC (+01:00)"},
            {"approval", approve, showStudy, studyPath, "approved mapping study",
             "study S1 approved by ben; signed by ben, approved mapping study, 2026-12-08 08:14 "
             "UTC (+01:00)"},
        };
        for (const auto& a : acts) {
            QTest::addRow("%s: no terminal", a.name)
                << "ben" << a.args << Answers{std::nullopt} << 1 << "no terminal" << 1 << qint64(0)
                << a.show << a.path << QString();
            QTest::addRow("%s: wrong password", a.name)
                << "ben" << a.args << Answers{"ana-secret"} << 1
                << "wrong password for ben: not signed (2 more" << 1 << qint64(1) << a.show
                << a.path << QString();
            QTest::addRow("%s: signed", a.name)
                << "ben" << a.args << Answers{kBenPassword} << 0 << a.manifestation << 1
                << qint64(0) << a.show << a.path << a.meaning;
        }
        // Refused before anyone is asked for a password, or nothing to sign.
        QTest::newRow("approval: its maker")
            << test::kMaker << approve << Answers{"x"} << 1 << "another login must approve it" << 0
            << qint64(0) << showStudy << studyPath << QString();
        QTest::newRow("fit: rejected, kept unsigned")
            << "ben" << QStringList{"calibration", "fit",      "1",         "--model", "poly2",
                                    "--exclude",   "C1-0",     "--exclude", "C1-1",    "--exclude",
                                    "C1-2",        "--reason", "dropped"}
            << Answers{kBenPassword} << 1 << "stored as rejected" << 0 << qint64(0) << showFit
            << QStringList{"fit", "signature"} << QString();
        QTest::newRow("correction: far from the nominal")
            << "ben"
            << QStringList{"record", "correct", "1", "--thickness-um", "60", "--reason", "gauge"}
            << Answers{kBenPassword} << 1 << "confirm" << 0 << qint64(0) << showRecords
            << recordPath << QString();
    }

    void otherActsAreSignedOnlyWithTheRightPassword() {
        QFETCH(QString, user);
        QFETCH(QStringList, args);
        QFETCH(QList<std::optional<QByteArray>>, answers);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(int, asked);
        QFETCH(qint64, failures);
        QFETCH(QStringList, show);
        QFETCH(QStringList, path);
        QFETCH(QString, meaning);
        prompt_.answers = answers;
        QCOMPARE(runCli(user, args), status);
        QVERIFY2((out_ + err_).contains(said), qPrintable(err_ + out_));
        QCOMPARE(prompt_.asked.size(), asked);
        const QJsonValue signature = shown(show, path);
        if (meaning.isEmpty()) {
            QVERIFY2(!signature.toObject().value("signed").toBool(),
                     qPrintable(QJsonDocument(signature.toObject()).toJson()));
        } else {
            QCOMPARE(prompt_.asked.front().meaning, meaning);
            const QJsonObject o = signature.toObject();
            QCOMPARE(o.value("signed").toBool(), true);
            QCOMPARE(o.value("account").toString(), QStringLiteral("ben"));
            QCOMPARE(o.value("meaning").toString(), meaning);
            QCOMPARE(o.value("signed_at").toString(), timeText(now_));
            QCOMPARE(o.value("offset").toString(), QStringLiteral("+01:00"));
        }
        QCOMPARE(failuresKept(), failures);
        QCOMPARE(runCli(QStringLiteral("ben"), {"verify"}), 0);
    }

    // A reader check is recorded signed through the same Signer; a wrong password records none.
    void readerCheckIsSigned() {
        auto store = Store::open(path_, clock());
        QVERIFY(store);
        Signer signer(**store, pam_, prompt_);
        const ReaderCheck check{0, "H-0042", 510, "ND-1", 1, {}, true, "ben", {}};
        prompt_.answers = {QByteArray("guess")};
        QVERIFY(!recordCheck(**store, signer, check));
        QVERIFY((*store)->checks()->empty());
        prompt_.answers = {kBenPassword};
        auto recorded = recordCheck(**store, signer, check);
        QVERIFY2(recorded, qPrintable(recorded ? QString() : recorded.error()));
        QCOMPARE(prompt_.asked.back().meaning, QStringLiteral("performed reader check"));
        const ReaderCheck kept = (*store)->checks()->front();
        QVERIFY(kept.signature);
        QCOMPARE(signatureText(*kept.signature),
                 QStringLiteral("signed by ben, performed reader check, 2026-12-08 08:14 UTC "
                                "(+01:00)"));
        // The lock-out counts from the last signature of any act: the wrong password before the
        // check no longer counts.
        QCOMPARE(*(*store)->lastSignature(QStringLiteral("ben")), now_);
        QVERIFY((*store)->verify().whole);
    }

    // West of Greenwich, and offsets of part of an hour, as the signer's clock said.
    void signatureNamesTheSignerAndTheOffset_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("text");
        QTest::newRow("utc") << "ben" << 0
                             << "signed by ben, returned, 2026-12-08 08:14 UTC (+00:00)";
        QTest::newRow("full name") << "Ben Ross" << 3600
                                   << "signed by Ben Ross (ben), returned, 2026-12-08 08:14 UTC "
                                      "(+01:00)";
        QTest::newRow("west") << "ben" << -(5 * 3600 + 30 * 60)
                              << "signed by ben, returned, 2026-12-08 08:14 UTC (-05:30)";
        QTest::newRow("quarter") << "ben" << 5 * 3600 + 45 * 60
                                 << "signed by ben, returned, 2026-12-08 08:14 UTC (+05:45)";
    }

    void signatureNamesTheSignerAndTheOffset() {
        QFETCH(QString, name);
        QFETCH(int, offset);
        QFETCH(QString, text);
        QCOMPARE(signatureText({"ben", name, now_.addSecs(59), offset, returnedMeaning()}), text);
    }

    // What job show --json gives a signed review: who, when, with the offset, and what it means.
    void summaryGivesTheManifestation() {
        prompt_.answers = {kBenPassword};
        QCOMPARE(runCli(QStringLiteral("ben"), {"job", "approve", "J-7"}), 0);
        QCOMPARE(prompt_.asked.front().meaning, QStringLiteral("reviewed and approved"));
        const QJsonObject signature =
            shownJob().value("reviews").toArray().at(0).toObject().value("signature").toObject();
        QCOMPARE(signature.value("account").toString(), QStringLiteral("ben"));
        QCOMPARE(signature.value("name").toString(), QStringLiteral("ben"));
        QCOMPARE(signature.value("signed_at").toString(), timeText(now_));
        QCOMPARE(signature.value("offset").toString(), QStringLiteral("+01:00"));
        QCOMPARE(signature.value("meaning").toString(), QStringLiteral("reviewed and approved"));
        QCOMPARE(signature.value("signed").toBool(), true);
        QCOMPARE(runCli(QStringLiteral("ben"), {"verify"}), 0);
    }

    // Three wrong passwords in a row lock the account for the set time, kept on the chain without
    // the password; the lock ends by itself and a signature starts the count again.
    void lockOutAfterThreeWrongPasswords() {
        const QStringList approve{"job", "approve", "J-7"};
        for (int i = 0; i < 3; ++i) {
            prompt_.answers = {QByteArray("guess")};
            QCOMPARE(runCli(QStringLiteral("ben"), approve), 1);
        }
        QVERIFY2(err_.contains(QStringLiteral("ben may not sign until 2026-12-08 08:29 UTC")),
                 qPrintable(err_));
        now_ = now_.addSecs(14 * 60);
        prompt_.asked.clear();
        prompt_.answers = {kBenPassword};
        QCOMPARE(runCli(QStringLiteral("ben"), approve), 1);
        QVERIFY2(err_.contains(QStringLiteral("may not sign until")), qPrintable(err_));
        QVERIFY(prompt_.asked.isEmpty()); // a locked account is not even asked
        QCOMPARE(failuresKept(), qint64(3));
        {
            auto store = Store::open(path_, clock());
            const auto kept = (*store)->signingFailures(QStringLiteral("ben"));
            QCOMPARE(kept->back().act, QStringLiteral("approve job J-7"));
            QVERIFY(!kept->back().canonical().contains(QStringLiteral("guess")));
        }
        // At its end the count starts again, and a signature starts it again too.
        now_ = now_.addSecs(60);
        prompt_.answers = {QByteArray("guess")};
        QCOMPARE(runCli(QStringLiteral("ben"), approve), 1);
        QVERIFY2(err_.contains(QStringLiteral("2 more wrong")), qPrintable(err_));
        prompt_.answers = {kBenPassword};
        QCOMPARE(runCli(QStringLiteral("ben"), approve), 0);
        now_ = now_.addSecs(60);
        prompt_.answers = {QByteArray("guess")};
        QCOMPARE(
            runCli(QStringLiteral("ben"), {"job", "return", "J-7", "--reason", "D1 to read again"}),
            1);
        QVERIFY2(err_.contains(QStringLiteral("2 more wrong")), qPrintable(err_));
        QCOMPARE(runCli(QStringLiteral("ben"), {"verify"}), 0);
    }

    // The program itself asks on its terminal, and signs nothing without one.
    void programWithoutTerminalRefuses() {
        QVERIFY(test::grantRoles(path_, loginName(), {Role::Reviewer}));
        QProcess dose;
        dose.setStandardInputFile(QProcess::nullDevice());
        dose.start(QStringLiteral("setsid"), {QStringLiteral(QVR100_BIN_DIR "/qvr100dose"), "--db",
                                              path_, "job", "approve", "J-7"});
        QVERIFY(dose.waitForFinished(60000));
        QCOMPARE(dose.exitCode(), 1);
        const QString err = QString::fromUtf8(dose.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("needs a terminal")), qPrintable(err));
        QVERIFY(shownJob().value("reviews").toArray().isEmpty());
    }

    // Reviews, corrections and checks made before they were signed keep their text and hash
    // after the migrations, and show as attributed, not signed; signed ones travel with db copy.
    // On both databases.
    void oldReviewsAreAttributedNotSigned_data() {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgresql") << true;
    }

    void oldReviewsAreAttributedNotSigned() {
        QFETCH(bool, postgres);
        std::unique_ptr<test::PgServer> server;
        QString location = dir_.filePath(QStringLiteral("old.sqlite"));
        QFile::remove(location);
        if (postgres) {
            QVR_REQUIRE_PG_BINARIES();
            // The server runs as its own user through runuser, whose PAM must be the system's:
            // only this process keeps the test's PAM.
            qunsetenv("LD_PRELOAD");
            server = std::make_unique<test::PgServer>();
            QVERIFY2(server->start(), qPrintable(server->error()));
            QVERIFY(server->createDatabase(QStringLiteral("old")));
            location = server->url(QStringLiteral("old"));
        }
        QString head;
        {
            auto old = Store::openAtVersion(location, 7, nullptr, clock());
            QVERIFY2(old, qPrintable(old.error()));
            auto seeded = test::seedStore(**old);
            QVERIFY(seeded);
            QVERIFY(test::addScenarioRecord(**old, *seeded, 1));
            Review review;
            review.jobId = QStringLiteral("J-7");
            review.approved = true;
            review.reviewer = QStringLiteral("ben");
            QVERIFY((*old)->addReview(review));
            review.signature = Signature{"ben", "ben", now_, 3600, approvedMeaning()};
            QVERIFY(!(*old)->addReview(review)); // a version-7 database keeps no signature
            QVERIFY((*old)->addCheck({0, "H-0042", 510, "ND-1", 1, {}, true, "ana", {}}));
            auto corrected = (*old)->correctRecord(1, [](const Record& r) -> Outcome<Record> {
                Record next = r;
                next.reason = QStringLiteral("gauge reading");
                next.signature =
                    Signature{"ana", "ana", QDateTime::currentDateTimeUtc(), 0, correctedMeaning()};
                return next;
            });
            QVERIFY(!corrected);
            QVERIFY2(corrected.error().contains(QStringLiteral("keeps no signatures")),
                     qPrintable(corrected.error()));
            QVERIFY((*old)->correctRecord(1, [](const Record& r) -> Outcome<Record> {
                Record next = r;
                next.reason = QStringLiteral("gauge reading");
                next.operatorName = QStringLiteral("ana");
                return next;
            }));
            head = *(*old)->headHash();
        }
        auto store = Store::open(location, clock());
        QVERIFY2(store, qPrintable(store.error()));
        QCOMPARE(*(*store)->schemaVersion(), kSchemaVersion);
        const ChainReport verified = (*store)->verify(head);
        QVERIFY2(verified.whole, qPrintable(verified.problem));
        const Review old = (*store)->reviews(QStringLiteral("J-7"))->front();
        QVERIFY(!old.signature);
        QCOMPARE(reviewSignatureText(old), QStringLiteral("attributed to ben, not signed"));

        // A signed return after it, then the whole chain copied to SQLite.
        Review returned;
        returned.jobId = QStringLiteral("J-7");
        returned.reviewer = QStringLiteral("ben");
        returned.reason = QStringLiteral("D1 to read again");
        prompt_.answers = {kBenPassword, kBenPassword};
        Signer signer(**store, pam_, prompt_);
        QVERIFY(reviewJob(**store, signer, returned));
        auto corrected =
            correctRecord(**store, signer, {1, 99.5, std::nullopt, "gauge again", "ben", false});
        QVERIFY2(corrected, qPrintable(corrected ? QString() : corrected.error()));
        const QString signedHead = *(*store)->headHash();
        path_ = dir_.filePath(QStringLiteral("copy-%1.sqlite").arg(QTest::currentDataTag()));
        QFile::remove(path_);
        {
            auto copy = Store::open(path_, clock());
            QVERIFY(copy);
            const auto copied = (*store)->copyInto(**copy);
            QVERIFY2(copied, qPrintable(copied.error()));
            QCOMPARE(copied->headHash, signedHead);
        }
        const QJsonArray reviews = shownJob().value("reviews").toArray();
        QCOMPARE(reviews.size(), 2);
        QCOMPARE(reviews[0].toObject().value("signature").toObject().value("signed").toBool(),
                 false);
        const QJsonObject signature = reviews[1].toObject().value("signature").toObject();
        QCOMPARE(signature.value("meaning").toString(), QStringLiteral("returned"));
        QCOMPARE(signature.value("signed").toBool(), true);
        const QJsonArray corrections = shownJob().value("corrections").toArray();
        QCOMPARE(corrections.size(), 2);
        QCOMPARE(corrections[0].toObject().value("signature").toObject().value("signed").toBool(),
                 false);
        QCOMPARE(
            corrections[1].toObject().value("signature").toObject().value("meaning").toString(),
            QStringLiteral("corrected record"));
        QCOMPARE(runCli(QStringLiteral("ben"), {"job", "show", "J-7"}), 0);
        QVERIFY2(out_.contains(QStringLiteral("approved by ben; attributed to ben, not signed")),
                 qPrintable(out_));
        QVERIFY2(out_.contains(QStringLiteral("record 1 v2 (gauge reading): attributed to ana, "
                                              "not signed")),
                 qPrintable(out_));
        QVERIFY2(out_.contains(QStringLiteral("record 1 v3 (gauge again): signed by ben, "
                                              "corrected record")),
                 qPrintable(out_));
        // The export carries each correction's signature or attribution in its last column.
        QCOMPARE(runCli(QStringLiteral("ben"), {"record", "list", "--job", "J-7", "--csv"}), 0);
        const QStringList lines = out_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 4 && lines[0].endsWith(QLatin1String(",signature")),
                 qPrintable(out_));
        QVERIFY2(lines[1].endsWith(QLatin1Char(',')), qPrintable(lines[1])); // the first read
        QVERIFY2(lines[2].endsWith(QLatin1String(",\"attributed to ana, not signed\"")),
                 qPrintable(lines[2]));
        QVERIFY2(lines[3].contains(QLatin1String(",\"signed by ben, corrected record, ")),
                 qPrintable(lines[3]));
        QCOMPARE(runCli(QStringLiteral("ben"), {"verify", "--expect", signedHead}), 0);
    }
};

QTEST_GUILESS_MAIN(TestDoseSigning)
#include "test_dose_signing.moc"
