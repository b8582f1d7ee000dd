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
