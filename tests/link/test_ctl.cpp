// qvr100ctl against a link source on the private bus: commands, output, exit statuses.

#include "link/LinkSource.h"
#include "link/ctl/Ctl.h"
#include "link/text/BusNames.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTest>

#include <ctime>

using namespace qvr;

class TestCtl : public QObject {
    Q_OBJECT

    std::unique_ptr<LabelModel> labels_;
    std::unique_ptr<LinkSource> source_;
    std::unique_ptr<Ctl> watch_;
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
    // Starts a watch, its clock a quarter second further at each change; true once linked.
    bool watch(const QStringList& args) {
        ticks_ = 0;
        watch_ = std::make_unique<Ctl>(client_, outDevice_, errDevice_);
        watch_->setClock([this] {
            return QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC).addMSecs(5 + 250 * ticks_++);
        });
        QSignalSpy watching(watch_.get(), &Ctl::watching);
        watch_->start(QStringList{QStringLiteral("watch")} + args);
        return watching.wait(10000);
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
        row("list", {"list"}, 0, LinkSource::items().join(u'\n').toUtf8() + '\n');
        row("help", {"get", "--help"}, 0, Ctl::usage().toUtf8());
        row("version", {"--version"}, 0, "qvr100ctl " QVR100_VERSION "\n");
        row("unknown item", {"get", "A", "B2"}, 2, "unknown item B2");
        row("property is no item", {"get", "Simulated"}, 2, "unknown item Simulated");
        row("watch unknown item", {"watch", "--csv", "B2"}, 2, "unknown item B2");
        row("no command", {}, 2, "no command given (see qvr100ctl --help)");
        row("unknown command", {"set", "A"}, 2, "unknown command set (see qvr100ctl --help)");
        row("unknown option", {"--frob", "list"}, 2,
            "unknown option --frob (see qvr100ctl --help)");
        row("get without items", {"get"}, 2, "get needs at least one item");
        row("list with items", {"list", "A"}, 2, "list takes no items");
        row("csv on get", {"get", "--csv", "A"}, 2, "--csv is an option of watch");
        row("get, not running", {"get", "A"}, 1, "QVR100PCI is not running");
        row("watch, not running", {"watch", "A"}, 1, "QVR100PCI is not running");
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

    void watchOutlivesTheProgram() {
        QVERIFY(watch({QStringLiteral("A")}));
        QSignalSpy finished(watch_.get(), &Ctl::finished);
        serve(false);
        QTRY_COMPARE_WITH_TIMEOUT(err_, "qvr100ctl: QVR100PCI stopped; waiting for it\n", 10000);
        QVERIFY(serve(true));
        QTRY_VERIFY_WITH_TIMEOUT(err_.endsWith("qvr100ctl: QVR100PCI is running again\n"), 10000);
        write({{Label::A, " 0.700"}}, 1);
        QCOMPARE(out_, "2024-03-01T12:00:00.005Z A  0.700\n");
        QCOMPARE(finished.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "test_ctl.moc"
