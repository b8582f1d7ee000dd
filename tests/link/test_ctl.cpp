// qvr100ctl against a link source on the private bus: commands, output, exit statuses.

#include "link/LinkSource.h"
#include "link/ctl/Ctl.h"
#include "link/text/BusNames.h"

#include <QBuffer>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <ctime>

using namespace qvr;

// A reader with its own items Fault and State, as a client sees it.
class FakeReader : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.norvale.QVR100PCI.Topic")
    Q_PROPERTY(QString A MEMBER a_)
    Q_PROPERTY(QString Fault MEMBER fault_)
    Q_PROPERTY(QString State MEMBER state_)
public:
    QString a_, fault_, state_;
public slots:
    QStringList Items() const { return {QStringLiteral("A")}; }
};

// The reader's side of zero and wavelength: refuses as told, or leaves reading and (unless
// stuck) reads again on the next turn of the event loop.
class FakeCommands : public ReaderCommands {
public:
    explicit FakeCommands(LabelModel& labels) : labels_(labels) {}
    CommandRefusal zeroCommand() override { return run(QStringLiteral("zero")); }
    CommandRefusal wavelengthCommand(bool secondary) override {
        return run(secondary ? QStringLiteral("secondary") : QStringLiteral("primary"));
    }
    CommandRefusal answer = CommandRefusal::None;
    bool stuck = false;
    QStringList calls;

private:
    CommandRefusal run(const QString& call) {
        calls << call;
        if (answer != CommandRefusal::None)
            return answer;
        labels_.set(Label::State, QStringLiteral("zeroing"));
        if (stuck)
            labels_.set(Label::Notice, QStringLiteral("Take the film out of the holder to zero"));
        else
            QTimer::singleShot(0, [this] { labels_.set(Label::State, QStringLiteral("reading")); });
        return answer;
    }
    LabelModel& labels_;
};

class TestCtl : public QObject {
    Q_OBJECT

    std::unique_ptr<LabelModel> labels_;
    std::unique_ptr<LinkSource> source_;
    std::unique_ptr<Ctl> watch_;
    std::unique_ptr<QSignalSpy> linked_;
    QDBusConnection client_{QString()};
    QByteArray out_, err_;
    QBuffer outDevice_{&out_}, errDevice_{&err_};
    int ticks_ = 0;

    bool serve(bool on) {
        auto bus = QDBusConnection::sessionBus();
        return on ? bus.registerService(busService()) : bus.unregisterService(busService());
    }
    // Runs a command to its end: its exit status, -1 if it never finished.
    int run(const QStringList& args, const QDBusConnection& bus) {
        Ctl ctl(bus, outDevice_, errDevice_);
        QSignalSpy finished(&ctl, &Ctl::finished);
        ctl.start(args);
        return finished.wait(10000) ? finished.first().first().toInt() : -1;
    }
    // Starts a watch, its clock a quarter second further at each change.
    void startWatch(const QStringList& args) {
        ticks_ = 0;
        watch_ = std::make_unique<Ctl>(client_, outDevice_, errDevice_);
        watch_->setClock([this] {
            return QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC).addMSecs(5 + 250 * ticks_++);
        });
        linked_ = std::make_unique<QSignalSpy>(watch_.get(), &Ctl::watching);
        watch_->start(QStringList{QStringLiteral("watch")} + args);
    }
    // True once linked.
    bool watch(const QStringList& args) {
        startWatch(args);
        return linked_->wait(10000);
    }
    // Writes the texts in one go, then waits until the output has `lines` lines.
    void write(std::initializer_list<std::pair<Label, QString>> texts, int lines) {
        for (const auto& [label, text] : texts)
            labels_->set(label, text);
        QTRY_COMPARE_WITH_TIMEOUT(out_.count('\n'), lines, 10000);
    }

private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        ::tzset();
        client_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("ctl"));
        QVERIFY(client_.isConnected());
        QVERIFY(outDevice_.open(QIODevice::WriteOnly) && errDevice_.open(QIODevice::WriteOnly));
    }
    void init() {
        watch_.reset();
        source_.reset();
        labels_ = std::make_unique<LabelModel>();
        source_ = std::make_unique<LinkSource>(*labels_, QDBusConnection::sessionBus());
        QVERIFY(source_->publish());
        QVERIFY(serve(true));
        out_.clear();
        err_.clear();
        QVERIFY(outDevice_.seek(0) && errDevice_.seek(0));
    }

    // Status 0 writes `text` on the output; any other only "qvr100ctl: <text>" on the error stream.
    // Status 1 rows run while QVR100PCI is not running.
    void commands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("text");
        const auto row = [](const char* name, QStringList args, int status,
                            const QByteArray& text) {
            QTest::newRow(name) << args << status << text;
        };
        row("get in order", {"get", "na", "A", "lblA1"}, 0, " \nZeroing\n510 nm\n");
        row("get served mapping", {"get", "lblEEPROM"}, 0, "Q\\x00\\\\\xC3\xBF\n");
        row("get raw", {"get", "--raw", "lblEEPROM"}, 0, QByteArray("Q\0\\\xC3\xBF\n", 6));
        row("item after --", {"get", "--", "A"}, 0, "Zeroing\n");
        row("list", {"list"}, 0, LinkSource::items().join(u'\n').toUtf8() + "\nSimulated\n");
        row("help", {"get", "--help"}, 0, Ctl::usage().toUtf8());
        row("version", {"--version"}, 0, "qvr100ctl " QVR100_VERSION "\n");
        row("unknown item", {"get", "A", "B2"}, 2, "unknown item B2");
        row("reader's own item", {"get", "Simulated", "A"}, 0, "false\nZeroing\n");
        row("watch unknown item", {"watch", "--csv", "B2"}, 2, "unknown item B2");
        row("no command", {}, 2, "no command given (see qvr100ctl --help)");
        row("unknown command", {"set", "A"}, 2, "unknown command set (see qvr100ctl --help)");
        row("unknown option", {"--frob", "list"}, 2,
            "unknown option --frob (see qvr100ctl --help)");
        row("get without items", {"get"}, 2, "get needs at least one item");
        row("list with items", {"list", "A"}, 2, "list takes no items");
        row("csv on get", {"get", "--csv", "A"}, 2, "--csv is an option of watch");
        row("get, not running", {"get", "A"}, 1, "QVR100PCI is not running");
    }
    void commands() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, text);
        labels_->set(Label::lblEEPROM, QString(u'Q') + QChar(0) + u'\\' + QChar(0xFF));
        if (status == 1)
            serve(false);
        QCOMPARE(run(args, client_), status);
        QCOMPARE(err_, status == 0 ? QByteArray() : "qvr100ctl: " + text + '\n');
        QCOMPARE(out_, status == 0 ? text : QByteArray());
    }

    // zero and wavelength: 0 once reading again, 1 refused or not running, 4 not reading in
    // time, 2 for a malformed command; each failure one line.
    void readerCommands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QByteArray>("text");
        const auto row = [](const char* name, QStringList args, const char* situation, int status,
                            const char* call, const QByteArray& text) {
            QTest::newRow(name) << args << QString::fromLatin1(situation) << status
                                << QString::fromLatin1(call) << text;
        };
        row("zero", {"zero"}, "", 0, "zero", "");
        row("primary", {"wavelength", "primary"}, "", 0, "primary", "");
        row("secondary, timeout", {"--timeout", "2", "wavelength", "secondary"}, "", 0, "secondary",
            "");
        row("refused, busy", {"zero"}, "busy", 1, "zero",
            "refused: a message of the reader waits for the user (Busy)");
        row("refused, turned off", {"wavelength", "primary"}, "read-only", 1, "primary",
            "refused: commands from other programs are turned off (setting BusCommands) "
            "(ReadOnly)");
        row("refused, fault", {"zero"}, "fault", 1, "zero",
            "refused: the reader has a fault: card gone (Fault)");
        row("refused, filter check", {"zero"}, "filter check", 1, "zero",
            "refused: the filter check is open; finish it first (FilterCheck)");
        row("not running", {"zero"}, "not running", 1, "", "QVR100PCI is not running");
        row("not reading in time", {"--timeout=1.5", "zero"}, "stuck", 4, "zero",
            "QVR100PCI is not reading again after 1.5 s (State zeroing): Take the film out of "
            "the holder to zero");
        row("no such wavelength", {"wavelength", "tertiary"}, "", 2, "",
            "wavelength takes primary or secondary");
        row("wavelength missing", {"wavelength"}, "", 2, "",
            "wavelength takes primary or secondary");
        row("zero with an item", {"zero", "A"}, "", 2, "", "zero takes no items");
        row("timeout of nothing", {"zero", "--timeout"}, "", 2, "",
            "--timeout needs a number of seconds");
        row("timeout zero", {"--timeout", "0", "zero"}, "", 2, "",
            "--timeout takes seconds above 0 up to 86400, not 0");
        row("timeout not a number", {"--timeout", "ten", "zero"}, "", 2, "",
            "--timeout takes seconds above 0 up to 86400, not ten");
        row("timeout on get", {"--timeout", "1", "get", "A"}, "", 2, "",
            "--timeout is an option of zero and wavelength");
    }
    void readerCommands() {
        QFETCH(QStringList, args);
        QFETCH(QString, situation);
        QFETCH(int, status);
        QFETCH(QString, call);
        QFETCH(QByteArray, text);
        FakeCommands commands(*labels_);
        source_->setCommands(&commands);
        labels_->set(Label::State, QStringLiteral("reading"));
        labels_->set(Label::Fault, QStringLiteral("card gone"));
        const std::map<QString, CommandRefusal> refusals{
            {QStringLiteral("busy"), CommandRefusal::Busy},
            {QStringLiteral("read-only"), CommandRefusal::ReadOnly},
            {QStringLiteral("fault"), CommandRefusal::Fault},
            {QStringLiteral("filter check"), CommandRefusal::FilterCheck}};
        if (const auto it = refusals.find(situation); it != refusals.end())
            commands.answer = it->second;
        commands.stuck = situation == QLatin1String("stuck");
        if (situation == QLatin1String("not running"))
            serve(false);

        int deadlineMs = -1;
        std::function<void()> deadline;
        Ctl ctl(client_, outDevice_, errDevice_);
        ctl.setDeadline([&](int ms, std::function<void()> fire) {
            deadlineMs = ms;
            deadline = std::move(fire);
        });
        QSignalSpy finished(&ctl, &Ctl::finished);
        QSignalSpy taken(&ctl, &Ctl::commandTaken);
        ctl.start(args);
        if (commands.stuck) {
            QVERIFY(taken.wait(10000));
            QCOMPARE(finished.count(), 0);
            QCOMPARE(deadlineMs, 1500);
            deadline();
        }
        QVERIFY(finished.count() == 1 || finished.wait(10000));
        QCOMPARE(finished.first().first().toInt(), status);
        QCOMPARE(commands.calls, call.isEmpty() ? QStringList() : QStringList{call});
        QCOMPARE(err_, status == 0 ? QByteArray() : "qvr100ctl: " + text + '\n');
        QCOMPARE(out_, QByteArray());
    }

    void noBus() {
        QCOMPARE(run({QStringLiteral("get"), QStringLiteral("A")},
                     QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                   QStringLiteral("ctl-nobus"))),
                 1);
        QCOMPARE(err_, "qvr100ctl: no D-Bus session bus, QVR100PCI cannot be reached\n");
    }

    void watchWritesEachChange() {
        QVERIFY(watch({QStringLiteral("lblVolt"), QStringLiteral("A")}));
        write({{Label::A, " 0.123"}, {Label::lblVolt, "1.2345"}, {Label::lblADC, "2047"}}, 2);
        write({{Label::A, " 0.123"}}, 3); // the same text is a new reading
        QCOMPARE(out_, "2024-03-01T12:00:00.005Z lblVolt 1.2345\n"
                       "2024-03-01T12:00:00.005Z A  0.123\n"
                       "2024-03-01T12:00:00.255Z A  0.123\n");
        QCOMPARE(err_, QByteArray());
    }

    void watchCsv() {
        QVERIFY(watch({QStringLiteral("--csv"), QStringLiteral("nb"), QStringLiteral("A")}));
        QCOMPARE(out_, "time,item,text\r\n");
        write({{Label::A, ">3.0"}}, 2);
        write({{Label::nb, "say \"hi\", ok"}, {Label::A, "-0.045"}}, 4);
        write({{Label::A, " 0.001"}}, 5);
        QCOMPARE(out_, "time,item,text\r\n"
                       "2024-03-01T12:00:00.005Z,A,>3.0\r\n"
                       "2024-03-01T12:00:00.255Z,nb,\"say \"\"hi\"\", ok\"\r\n"
                       "2024-03-01T12:00:00.255Z,A,-0.045\r\n"
                       "2024-03-01T12:00:00.505Z,A,\" 0.001\"\r\n");
    }

    // Waits for the reader once, says so once, and writes the reader's own items at each link.
    void watchWaitsForTheReader() {
        serve(false);
        startWatch({QStringLiteral("A"), QStringLiteral("Simulated")});
        QSignalSpy finished(watch_.get(), &Ctl::finished);
        QTRY_COMPARE_WITH_TIMEOUT(err_, "qvr100ctl: QVR100PCI is not running; waiting for it\n",
                                  10000);
        QVERIFY(serve(true));
        QTRY_COMPARE_WITH_TIMEOUT(linked_->size(), 1, 10000);
        write({{Label::A, " 0.700"}}, 2);
        serve(false);
        QTRY_VERIFY_WITH_TIMEOUT(err_.endsWith("qvr100ctl: QVR100PCI stopped; waiting for it\n"),
                                 10000);
        QVERIFY(serve(true));
        QTRY_COMPARE_WITH_TIMEOUT(out_.count('\n'), 3, 10000);
        source_->setSimulated(true);
        write({}, 4);
        QCOMPARE(out_, "2024-03-01T12:00:00.005Z Simulated false\n"
                       "2024-03-01T12:00:00.255Z A  0.700\n"
                       "2024-03-01T12:00:00.505Z Simulated false\n"
                       "2024-03-01T12:00:00.755Z Simulated true\n");
        QCOMPARE(err_, "qvr100ctl: QVR100PCI is not running; waiting for it\n"
                       "qvr100ctl: QVR100PCI is running\n"
                       "qvr100ctl: QVR100PCI stopped; waiting for it\n"
                       "qvr100ctl: QVR100PCI is running again\n");
        QCOMPARE(finished.size(), 0);
    }

    // Items are what the reader serves, Fault and State of this one too.
    void itemsComeFromTheReader() {
        source_.reset();
        FakeReader reader;
        auto bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(busPath(), &reader,
                                   QDBusConnection::ExportAllProperties |
                                       QDBusConnection::ExportAllSlots));
        QCOMPARE(run({QStringLiteral("list")}, client_), 0);
        QCOMPARE(out_, "A\nFault\nState\n");
        bus.unregisterObject(busPath());
    }

    // The program itself: a failed write ends it with status 3 and a message, a reader of the
    // output that goes away ends it quietly.
    void outputFailures_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("err");
        const QByteArray full = "qvr100ctl: cannot write the output: No space left on device\n";
        QTest::newRow("get, full disk") << "\"$0\" get A >/dev/full" << 3 << full;
        QTest::newRow("watch, full disk") << "\"$0\" watch --csv A >/dev/full" << 3 << full;
        QTest::newRow("output closed")
            << "\"$0\" get A >&-" << 3
            << QByteArray("qvr100ctl: cannot write the output: Bad file descriptor\n");
        QTest::newRow("watch, reader gone")
            << "\"$0\" watch A | head -n1 >/dev/null; exit ${PIPESTATUS[0]}" << 0 << QByteArray();
    }
    void outputFailures() {
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QByteArray, err);
        QProcess ctl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        ctl.setProcessEnvironment(env);
        QSignalSpy finished(&ctl, &QProcess::finished);
        QTimer readings; // a reading now and then, for the watch to write
        connect(&readings, &QTimer::timeout, this,
                [this] { labels_->set(Label::A, QStringLiteral(" 0.123")); });
        readings.start(20);
        ctl.start(QStringLiteral("bash"),
                  {QStringLiteral("-c"), command, QStringLiteral(QVR100_BIN_DIR "/qvr100ctl")});
        QVERIFY(finished.wait(10000));
        QCOMPARE(ctl.readAllStandardError(), err);
        QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ctl.exitCode(), status);
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "test_ctl.moc"
