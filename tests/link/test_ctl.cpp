// qvr100ctl against a link source on the private bus: commands, output, exit statuses.

#include "link/BusNames.h"
#include "link/Ctl.h"
#include "link/LinkSource.h"

#include <QBuffer>
#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <QTest>

#include <ctime>

using namespace qvr;

namespace {

struct Run {
    int status = -1;
    QByteArray out, err;
};

} // namespace

class TestCtl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commands_data();
    void commands();
    void listsEveryItem();
    void notRunning();
    void noBus();
    void watchWritesEachChange();
    void watchCsv();
    void watchRaw();
    void watchOutlivesTheProgram();

private:
    Run run(const QStringList& args);
    // Starts a watch and returns once it is linked.
    std::unique_ptr<Ctl> startWatch(const QStringList& args);
    QDateTime tick();

    std::unique_ptr<LabelModel> labels_;
    std::unique_ptr<LinkSource> source_;
    QDBusConnection client_{QString()};
    QBuffer out_, err_;
    int ms_ = 0;
};

void TestCtl::initTestCase() {
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "needs a private session bus");
    qputenv("TZ", "UTC");
    ::tzset();
    client_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("ctl"));
    QVERIFY(client_.isConnected());
}

void TestCtl::init() {
    labels_ = std::make_unique<LabelModel>();
    source_ = std::make_unique<LinkSource>(*labels_, QDBusConnection::sessionBus());
    QVERIFY(source_->publish());
    QVERIFY(QDBusConnection::sessionBus().registerService(busService()));
    out_.setData(QByteArray());
    err_.setData(QByteArray());
    QVERIFY(out_.open(QIODevice::WriteOnly));
    QVERIFY(err_.open(QIODevice::WriteOnly));
    ms_ = 0;
}

void TestCtl::cleanup() {
    out_.close();
    err_.close();
    QDBusConnection::sessionBus().unregisterService(busService());
    source_.reset();
    labels_.reset();
}

QDateTime TestCtl::tick() {
    return QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC).addMSecs(5 + 250 * ms_++);
}

Run TestCtl::run(const QStringList& args) {
    Ctl ctl(client_, out_, err_);
    QSignalSpy finished(&ctl, &Ctl::finished);
    ctl.start(args);
    Run r;
    if (finished.wait(10000))
        r.status = finished.first().first().toInt();
    r.out = out_.data();
    r.err = err_.data();
    return r;
}

std::unique_ptr<Ctl> TestCtl::startWatch(const QStringList& args) {
    auto ctl = std::make_unique<Ctl>(client_, out_, err_);
    ctl->setClock([this] { return tick(); });
    QSignalSpy watching(ctl.get(), &Ctl::watching);
    ctl->start(args);
    if (!watching.wait(10000))
        return nullptr;
    return ctl;
}

void TestCtl::commands_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("get one") << QStringList{"get", "A"} << 0 << QByteArray("Zeroing\n")
                             << QByteArray();
    QTest::newRow("get several in order") << QStringList{"get", "na", "A", "lblA1"} << 0
                                          << QByteArray(" \nZeroing\n510 nm\n") << QByteArray();
    QTest::newRow("get served mapping") << QStringList{"get", "lblEEPROM"} << 0
                                        << QByteArray("Q\\x00\\\\\xC3\xBF\n") << QByteArray();
    QTest::newRow("get raw") << QStringList{"get", "--raw", "lblEEPROM"} << 0
                             << QByteArray("Q\0\\\xC3\xBF\n", 6) << QByteArray();
    QTest::newRow("unknown item") << QStringList{"get", "A", "B2"} << 2 << QByteArray()
                                  << QByteArray("qvr100ctl: unknown item B2\n");
    QTest::newRow("property is no item") << QStringList{"get", "Simulated"} << 2 << QByteArray()
                                         << QByteArray("qvr100ctl: unknown item Simulated\n");
    QTest::newRow("watch unknown item") << QStringList{"watch", "--csv", "B2"} << 2 << QByteArray()
                                        << QByteArray("qvr100ctl: unknown item B2\n");
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << QByteArray("qvr100ctl " QVR100_VERSION "\n") << QByteArray();
    QTest::newRow("no command") << QStringList{} << 2 << QByteArray()
                                << QByteArray(
                                       "qvr100ctl: no command given (see qvr100ctl --help)\n");
    QTest::newRow("unknown command")
        << QStringList{"set", "A"} << 2 << QByteArray()
        << QByteArray("qvr100ctl: unknown command set (see qvr100ctl --help)\n");
    QTest::newRow("unknown option")
        << QStringList{"--frob", "list"} << 2 << QByteArray()
        << QByteArray("qvr100ctl: unknown option --frob (see qvr100ctl --help)\n");
    QTest::newRow("get without items") << QStringList{"get"} << 2 << QByteArray()
                                       << QByteArray("qvr100ctl: get needs at least one item\n");
    QTest::newRow("watch without items")
        << QStringList{"watch", "--csv"} << 2 << QByteArray()
        << QByteArray("qvr100ctl: watch needs at least one item\n");
    QTest::newRow("list with items") << QStringList{"list", "A"} << 2 << QByteArray()
                                     << QByteArray("qvr100ctl: list takes no items\n");
    QTest::newRow("csv on get") << QStringList{"get", "--csv", "A"} << 2 << QByteArray()
                                << QByteArray("qvr100ctl: --csv is an option of watch\n");
    QTest::newRow("item after --")
        << QStringList{"get", "--", "A"} << 0 << QByteArray("Zeroing\n") << QByteArray();
}

void TestCtl::commands() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    labels_->set(Label::lblEEPROM, QString(u'Q') + QChar(0) + u'\\' + QChar(0xFF));
    const Run r = run(args);
    QCOMPARE(r.err, err);
    QCOMPARE(r.out, out);
    QCOMPARE(r.status, status);
}

void TestCtl::listsEveryItem() {
    const Run r = run({QStringLiteral("list")});
    QCOMPARE(r.status, 0);
    QCOMPARE(QString::fromUtf8(r.out), LinkSource::items().join(u'\n') + u'\n');

    const Run help = run({QStringLiteral("get"), QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.mid(r.out.size()).startsWith("Usage: qvr100ctl"));
}

void TestCtl::notRunning() {
    QDBusConnection::sessionBus().unregisterService(busService());
    for (const QStringList& args :
         {QStringList{"list"}, QStringList{"get", "A"}, QStringList{"watch", "A"}}) {
        err_.close();
        err_.setData(QByteArray());
        QVERIFY(err_.open(QIODevice::WriteOnly));
        const Run r = run(args);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, QByteArray("qvr100ctl: QVR100PCI is not running\n"));
        QCOMPARE(r.out, QByteArray());
    }
}

void TestCtl::noBus() {
    QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/qvr100/bus"), QStringLiteral("ctl-nobus"));
    Ctl ctl(none, out_, err_);
    QSignalSpy finished(&ctl, &Ctl::finished);
    ctl.start({QStringLiteral("get"), QStringLiteral("A")});
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().first().toInt(), 1);
    QCOMPARE(err_.data(),
             QByteArray("qvr100ctl: no D-Bus session bus, QVR100PCI cannot be reached\n"));
}

void TestCtl::watchWritesEachChange() {
    auto ctl =
        startWatch({QStringLiteral("watch"), QStringLiteral("lblVolt"), QStringLiteral("A")});
    QVERIFY(ctl);
    QSignalSpy finished(ctl.get(), &Ctl::finished);
    QCOMPARE(out_.data(), QByteArray());
    labels_->set(Label::A, QStringLiteral(" 0.123"));
    labels_->set(Label::lblVolt, QStringLiteral("1.2345"));
    labels_->set(Label::lblADC, QStringLiteral("2047")); // not watched
    QTRY_COMPARE_WITH_TIMEOUT(out_.data().count('\n'), 2, 10000);
    labels_->set(Label::A, QStringLiteral(" 0.123")); // the same text is a new reading
    QTRY_COMPARE_WITH_TIMEOUT(out_.data().count('\n'), 3, 10000);
    QCOMPARE(out_.data(), QByteArray("2024-03-01T12:00:00.005Z lblVolt 1.2345\n"
                                     "2024-03-01T12:00:00.005Z A  0.123\n"
                                     "2024-03-01T12:00:00.255Z A  0.123\n"));
    QCOMPARE(err_.data(), QByteArray());
    QCOMPARE(finished.size(), 0);
}

void TestCtl::watchCsv() {
    auto ctl = startWatch({QStringLiteral("watch"), QStringLiteral("--csv"), QStringLiteral("nb"),
                           QStringLiteral("A")});
    QVERIFY(ctl);
    QCOMPARE(out_.data(), QByteArray("time,item,text\r\n"));
    labels_->set(Label::A, QStringLiteral(">3.0"));
    QTRY_COMPARE_WITH_TIMEOUT(out_.data().count('\n'), 2, 10000);
    labels_->set(Label::nb, QStringLiteral("say \"hi\", ok"));
    labels_->set(Label::A, QStringLiteral("-0.045"));
    QTRY_COMPARE_WITH_TIMEOUT(out_.data().count('\n'), 4, 10000);
    labels_->set(Label::A, QStringLiteral(" 0.001"));
    QTRY_COMPARE_WITH_TIMEOUT(out_.data().count('\n'), 5, 10000);
    QCOMPARE(out_.data(), QByteArray("time,item,text\r\n"
                                     "2024-03-01T12:00:00.005Z,A,>3.0\r\n"
                                     "2024-03-01T12:00:00.255Z,nb,\"say \"\"hi\"\", ok\"\r\n"
                                     "2024-03-01T12:00:00.255Z,A,-0.045\r\n"
                                     "2024-03-01T12:00:00.505Z,A,\" 0.001\"\r\n"));
}

void TestCtl::watchRaw() {
    auto ctl =
        startWatch({QStringLiteral("watch"), QStringLiteral("--raw"), QStringLiteral("lblEEPROM")});
    QVERIFY(ctl);
    labels_->set(Label::lblEEPROM, QString(u'a') + QChar(0) + QChar(0x0A) + u'b');
    QTRY_VERIFY_WITH_TIMEOUT(out_.data().endsWith("b\n"), 10000);
    QCOMPARE(out_.data(), QByteArray("2024-03-01T12:00:00.005Z lblEEPROM a\0\nb\n", 40));
}

void TestCtl::watchOutlivesTheProgram() {
    auto ctl = startWatch({QStringLiteral("watch"), QStringLiteral("A")});
    QVERIFY(ctl);
    QSignalSpy finished(ctl.get(), &Ctl::finished);
    QDBusConnection::sessionBus().unregisterService(busService());
    QTRY_COMPARE_WITH_TIMEOUT(err_.data(),
                              QByteArray("qvr100ctl: QVR100PCI stopped; waiting for it\n"), 10000);
    QVERIFY(QDBusConnection::sessionBus().registerService(busService()));
    QTRY_VERIFY_WITH_TIMEOUT(err_.data().endsWith("qvr100ctl: QVR100PCI is running again\n"),
                             10000);
    labels_->set(Label::A, QStringLiteral(" 0.700"));
    QTRY_COMPARE_WITH_TIMEOUT(out_.data(), QByteArray("2024-03-01T12:00:00.005Z A  0.700\n"),
                              10000);
    QCOMPARE(finished.size(), 0);
}

QTEST_GUILESS_MAIN(TestCtl)
#include "test_ctl.moc"
