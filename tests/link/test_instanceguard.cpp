// One program per head: the lock file and the bus name, and what the program is told.

#include "BusProbe.h"
#include "TempXdg.h"
#include "link/BusNames.h"
#include "link/InstanceGuard.h"
#include "link/LinkService.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

using namespace qvr;
using Outcome = qvr::InstanceGuard::Outcome;

class TestInstanceGuard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void firstInstanceServes();
    void secondInstanceIsRefusedByTheLock();
    void secondInstanceIsRefusedByTheName();
    void releasedOnDestruction();
    void noBusStillHoldsTheLock();
    void unusableLockFolderLeavesTheName_data();
    void unusableLockFolderLeavesTheName();
    void defaultLockFolder();
    void startLinkServesTheLabels();
    void startLinkRefusesASecondInstance();
    void startLinkWithoutBus();

private:
    bool nameOwned() {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(busService());
    }
    // A connection of its own, as a second program would have.
    QDBusConnection otherConnection(const QString& name) {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    }
    QDBusConnection noBus() {
        return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/qvr100/bus"),
                                             QStringLiteral("nobus"));
    }
};

void TestInstanceGuard::initTestCase() {
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "needs a private session bus");
}

void TestInstanceGuard::firstInstanceServes() {
    QTemporaryDir lock;
    InstanceGuard guard;
    QCOMPARE(guard.acquire(lock.path(), otherConnection(QStringLiteral("first"))),
             Outcome::Serving);
    QCOMPARE(guard.message(), QString());
    QVERIFY(nameOwned());
    QVERIFY(QFile::exists(lock.path() + QStringLiteral("/qvr100pci.lock")));
}

void TestInstanceGuard::secondInstanceIsRefusedByTheLock() {
    QTemporaryDir lock;
    InstanceGuard first;
    QCOMPARE(first.acquire(lock.path(), otherConnection(QStringLiteral("a1"))), Outcome::Serving);
    InstanceGuard second;
    QCOMPARE(second.acquire(lock.path(), otherConnection(QStringLiteral("a2"))),
             Outcome::AlreadyRunning);
    QCOMPARE(second.message(), QStringLiteral("QVR100PCI is already running"));
    QVERIFY(nameOwned()); // the first keeps serving
}

void TestInstanceGuard::secondInstanceIsRefusedByTheName() {
    // Two runtime folders (another login on the same bus): the name still decides.
    QTemporaryDir lock1, lock2;
    InstanceGuard first;
    QCOMPARE(first.acquire(lock1.path(), otherConnection(QStringLiteral("b1"))), Outcome::Serving);
    InstanceGuard second;
    QCOMPARE(second.acquire(lock2.path(), otherConnection(QStringLiteral("b2"))),
             Outcome::AlreadyRunning);
    QCOMPARE(second.message(), InstanceGuard::alreadyRunningText());
    // The refused one gave its lock back: a third with that folder is refused by name, not lock.
    InstanceGuard third;
    QCOMPARE(third.acquire(lock2.path(), noBus()), Outcome::NoBus);
}

void TestInstanceGuard::releasedOnDestruction() {
    QTemporaryDir lock;
    {
        InstanceGuard first;
        QCOMPARE(first.acquire(lock.path(), otherConnection(QStringLiteral("c1"))),
                 Outcome::Serving);
    }
    QVERIFY(!nameOwned());
    InstanceGuard next;
    QCOMPARE(next.acquire(lock.path(), otherConnection(QStringLiteral("c2"))), Outcome::Serving);
}

void TestInstanceGuard::noBusStillHoldsTheLock() {
    QTemporaryDir lock;
    InstanceGuard first;
    QCOMPARE(first.acquire(lock.path(), noBus()), Outcome::NoBus);
    QVERIFY2(first.message().contains(QStringLiteral("not served")), qPrintable(first.message()));
    QVERIFY(!first.message().contains(u'\n'));
    InstanceGuard second;
    QCOMPARE(second.acquire(lock.path(), otherConnection(QStringLiteral("d2"))),
             Outcome::AlreadyRunning);
    QVERIFY(!nameOwned());
}

void TestInstanceGuard::unusableLockFolderLeavesTheName_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("a file, not a folder") << "file";
    QTest::newRow("open to everyone") << "shared";
    QTest::newRow("under a file") << "under-file";
}

void TestInstanceGuard::unusableLockFolderLeavesTheName() {
    QFETCH(QString, kind);
    QTemporaryDir base;
    QString folder = base.path() + QStringLiteral("/x");
    if (kind == QLatin1String("file") || kind == QLatin1String("under-file")) {
        QFile f(folder);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("under-file"))
            folder += QStringLiteral("/y");
    } else {
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7777)));
    }
    InstanceGuard guard;
    QCOMPARE(guard.acquire(folder, otherConnection(QStringLiteral("e-") + kind)), Outcome::Serving);
    QVERIFY2(guard.message().contains(QStringLiteral("lock")), qPrintable(guard.message()));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/qvr100pci.lock")));
}

void TestInstanceGuard::defaultLockFolder() {
    {
        qvr::test::TempXdg xdg;
        QCOMPARE(InstanceGuard::defaultLockFolder(), xdg.runtimeDir());
    }
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    QCOMPARE(InstanceGuard::defaultLockFolder(), QStringLiteral("/tmp/qvr100-%1").arg(::getuid()));
    if (!saved.isNull())
        qputenv("XDG_RUNTIME_DIR", saved);
}

void TestInstanceGuard::startLinkServesTheLabels() {
    qvr::test::TempXdg xdg;
    LabelModel labels;
    labels.set(Label::A, QStringLiteral(" 0.250"));
    QString message = QStringLiteral("untouched");
    auto link = startLink(labels, true, &message);
    QVERIFY(link);
    QVERIFY(link->serving());
    QCOMPARE(link->outcome(), Outcome::Serving);
    QCOMPARE(message, QString());
    qvr::test::BusProbe client(QStringLiteral("f-client"));
    QCOMPARE(client.topic(QStringLiteral("Request"), {QStringLiteral("A")}).arguments().value(0),
             QVariant(QStringLiteral(" 0.250")));
    QCOMPARE(client.get(QStringLiteral("Simulated")), QVariant(true));
    link.reset();
    QVERIFY(!nameOwned());
}

void TestInstanceGuard::startLinkRefusesASecondInstance() {
    qvr::test::TempXdg xdg;
    LabelModel labels;
    InstanceGuard running;
    QCOMPARE(running.acquire(xdg.runtimeDir(), otherConnection(QStringLiteral("g1"))),
             Outcome::Serving);
    QString message;
    QVERIFY(!startLink(labels, false, &message));
    QCOMPARE(message, QStringLiteral("QVR100PCI is already running"));
}

void TestInstanceGuard::startLinkWithoutBus() {
    qvr::test::TempXdg xdg;
    LabelModel labels;
    LinkService service;
    QCOMPARE(service.start(labels, false, xdg.runtimeDir(), noBus()), Outcome::NoBus);
    QVERIFY(!service.serving());
    QVERIFY(!service.message().isEmpty());
    QVERIFY(!nameOwned());
    // The lock is taken all the same.
    InstanceGuard other;
    QCOMPARE(other.acquire(xdg.runtimeDir(), otherConnection(QStringLiteral("h2"))),
             Outcome::AlreadyRunning);
}

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "moc_BusProbe.cpp"
#include "test_instanceguard.moc"
