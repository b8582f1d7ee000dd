// One program per head: the lock file and the bus name, and what the program is told.

#include "TempXdg.h"
#include "link/InstanceGuard.h"
#include "link/LinkService.h"
#include "link/text/BusNames.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QProcess>
#include <QTest>

#include <unistd.h>

using namespace qvr;
using Outcome = qvr::InstanceGuard::Outcome;

class TestInstanceGuard : public QObject {
    Q_OBJECT

    int connections_ = 0;

    static bool nameOwned() {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(busService());
    }
    // A connection of its own, as another program would have.
    QDBusConnection bus() {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                             QStringLiteral("c%1").arg(++connections_));
    }
    static QDBusConnection noBus() {
        return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/qvr100/bus"),
                                             QStringLiteral("nobus"));
    }

private slots:
    void secondInstanceIsRefusedByTheLock() {
        QTemporaryDir lock;
        auto first = std::make_unique<InstanceGuard>();
        QCOMPARE(first->acquire(lock.path(), bus()), Outcome::Serving);
        QCOMPARE(first->message(), QString());
        QVERIFY(QFile::exists(lock.path() + QStringLiteral("/qvr100pci.lock")));
        InstanceGuard second;
        QCOMPARE(second.acquire(lock.path(), bus()), Outcome::AlreadyRunning);
        QCOMPARE(second.message(), QStringLiteral("QVR100PCI is already running"));
        QVERIFY(nameOwned()); // the first keeps serving, until it ends
        first.reset();
        QVERIFY(!nameOwned());
        QCOMPARE(InstanceGuard().acquire(lock.path(), bus()), Outcome::Serving);
    }

    void secondInstanceIsRefusedByTheName() {
        // Two runtime folders (another login on the same bus): the name still decides.
        QTemporaryDir lock1, lock2;
        InstanceGuard first, second, third;
        QCOMPARE(first.acquire(lock1.path(), bus()), Outcome::Serving);
        QCOMPARE(second.acquire(lock2.path(), bus()), Outcome::AlreadyRunning);
        QCOMPARE(second.message(), QStringLiteral("QVR100PCI is already running"));
        // The refused one gave its lock back.
        QCOMPARE(third.acquire(lock2.path(), noBus()), Outcome::NoBus);
    }

    void noBusStillHoldsTheLock() {
        QTemporaryDir lock;
        InstanceGuard first, second;
        QCOMPARE(first.acquire(lock.path(), noBus()), Outcome::NoBus);
        QVERIFY2(first.message().contains(QStringLiteral("not served")),
                 qPrintable(first.message()));
        QVERIFY(!first.message().contains(u'\n'));
        QCOMPARE(second.acquire(lock.path(), bus()), Outcome::AlreadyRunning);
        QVERIFY(!nameOwned());
    }

    // Whatever stands where the lock folder should be, unless it is a folder of this user
    // closed to everyone else, the program refuses to run rather than run unlocked.
    void unusableLockFolderIsRefused_data() {
        QTest::addColumn<QString>("planted");
        QTest::newRow("nothing") << "none";
        QTest::newRow("a file, not a folder") << "file";
        QTest::newRow("open to everyone") << "open";
        QTest::newRow("a symlink to a private folder") << "symlink";
        QTest::newRow("another user's folder") << "other";
    }
    void unusableLockFolderIsRefused() {
        QFETCH(QString, planted);
        QTemporaryDir base, target;
        QFile::setPermissions(base.path(), QFile::Permissions(0x7777));
        const QString folder = base.path() + QStringLiteral("/x");
        if (planted == "file") {
            QFile f(folder);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (planted == "open") {
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7777)));
        } else if (planted == "symlink") {
            QVERIFY(QFile::link(target.path(), folder));
        } else if (planted == "other") {
            if (::geteuid() != 0)
                QSKIP("planting a folder as another user needs root (setpriv)");
            QProcess plant;
            plant.start(QStringLiteral("setpriv"),
                        {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                         QStringLiteral("--clear-groups"), QStringLiteral("mkdir"),
                         QStringLiteral("-m"), QStringLiteral("700"), folder});
            QVERIFY(plant.waitForFinished() && plant.exitCode() == 0);
        }
        InstanceGuard guard;
        QCOMPARE(guard.acquire(folder, bus()), Outcome::NoLock);
        QVERIFY2(guard.message().startsWith(QStringLiteral("cannot take the one-instance lock: ") +
                                            folder),
                 qPrintable(guard.message()));
        QVERIFY(!nameOwned());
        QVERIFY(!QFile::exists(target.path() + QStringLiteral("/qvr100pci.lock")));
        LabelModel labels;
        LinkService service;
        QCOMPARE(service.start(labels, false, folder, bus()), Outcome::NoLock);
        QVERIFY(!service.serving());
    }

    // A shell without XDG_RUNTIME_DIR and a unit with it lock in the same folder; nothing
    // another user planted at the old shared place /tmp/qvr100-<uid> is looked at.
    void defaultLockFolder() {
        {
            qvr::test::TempXdg xdg;
            QCOMPARE(InstanceGuard::defaultLockFolder(), xdg.runtimeDir());
        }
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(InstanceGuard::defaultLockFolder(),
                 QStringLiteral("/run/user/%1").arg(::getuid()));
        if (!saved.isNull())
            qputenv("XDG_RUNTIME_DIR", saved);
    }

    void startLink() {
        qvr::test::TempXdg xdg;
        LabelModel labels;
        QString message = QStringLiteral("untouched");
        auto link = qvr::startLink(labels, true, &message);
        QVERIFY(link && link->serving());
        QCOMPARE(message, QString());
        // What it serves is seen end to end in test_headless_run. A second program is refused;
        // the first one's end gives the name up.
        QVERIFY(!qvr::startLink(labels, false, &message));
        QCOMPARE(message, QStringLiteral("QVR100PCI is already running"));
        link.reset();
        QVERIFY(!nameOwned());
    }
};

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "test_instanceguard.moc"
