// The settings store: the real INI file in a temporary XDG config folder, and the in-memory one.

#include "TempXdg.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>

#include <sys/stat.h>

using namespace qvr;

class TestSettings : public QObject {
    Q_OBJECT

    // QSettings looks the user's config folder up once per process, so the folder is set for
    // the whole run before any store exists; each test starts from no file.
    test::TempXdg xdg_;

    QString fileText() const {
        QFile f(xdg_.settingsFile());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll());
    }

    // What another reader of the file finds there now.
    QVariant onDisk(const QString& key) const {
        QSettings other(xdg_.settingsFile(), QSettings::IniFormat);
        return other.value(QStringLiteral("Properties/") + key);
    }

private slots:
    void init() {
        QDir(xdg_.configHome()).removeRecursively();
        QDir().mkpath(xdg_.configHome());
    }

    void absentKeyGivesTheDefault_data() {
        QTest::addColumn<QString>("def");
        QTest::newRow("first run, no board") << "9999";
        QTest::newRow("empty default") << "";
    }
    void absentKeyGivesTheDefault() {
        QFETCH(QString, def);
        const QString key = QStringLiteral("PCIPort");
        IniSettings ini;
        QCOMPARE(ini.read(key, def), def);
        MemorySettings mem;
        QCOMPARE(mem.read(key, def), def);
        QVERIFY(!QFile::exists(xdg_.settingsFile())); // reading creates nothing
    }

    void valuesLiveInGroupPropertiesOfTheUsersFile() {
        IniSettings s;
        QCOMPARE(s.fileName(), xdg_.configHome() + QStringLiteral("/QVR100/QVR100.conf"));
        QVERIFY(s.write(QStringLiteral("PCIPort"), QStringLiteral("3")));
        QVERIFY(s.write(QStringLiteral("GainSN1000"), QStringLiteral("1.87")));
        const QString file = fileText();
        QVERIFY2(file.startsWith(QStringLiteral("[Properties]\n")), qPrintable(file));
        QVERIFY2(file.contains(QStringLiteral("\nPCIPort=3\n")), qPrintable(file));
        QVERIFY2(file.contains(QStringLiteral("\nGainSN1000=1.87\n")), qPrintable(file));
        QCOMPARE(file.count(QLatin1Char('[')), 1);
    }

    void writeIsOnDiskWhenTheCallReturns() {
        IniSettings s; // stays alive: nothing may wait for its destruction
        QVERIFY(s.write(QStringLiteral("ScreenLeft"), QStringLiteral("1234")));
        QCOMPARE(onDisk(QStringLiteral("ScreenLeft")).toString(), QStringLiteral("1234"));
        QVERIFY(s.write(QStringLiteral("ScreenLeft"), QStringLiteral("99")));
        QCOMPARE(onDisk(QStringLiteral("ScreenLeft")).toString(), QStringLiteral("99"));
    }

    void textRoundTripsThroughTheFile_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("commas and blanks") << "Primary, Secondary , x";
        QTest::newRow("leading and trailing blanks") << "  600 nm  ";
        QTest::newRow("beyond latin") << QStringLiteral("\u6ce2\u9577 \u03bb=510 nm \u2713");
        QTest::newRow("ini syntax") << "[Other]\nkey=value;#comment";
        QTest::newRow("backslash") << "C:\\reader\\";
        QTest::newRow("at sign") << "@Variant(junk)";
    }
    void textRoundTripsThroughTheFile() {
        QFETCH(QString, text);
        {
            IniSettings s;
            QVERIFY(s.write(QStringLiteral("Display"), text));
            QVERIFY(s.write(QStringLiteral("ScreenTop"), QStringLiteral("7")));
            QCOMPARE(s.read(QStringLiteral("Display"), QStringLiteral("default")), text);
        }
        IniSettings again; // a new run reads the file
        QCOMPARE(again.read(QStringLiteral("Display"), QStringLiteral("default")), text);
        QCOMPARE(again.read(QStringLiteral("ScreenTop"), QString()), QStringLiteral("7"));
    }

    // A serial number comes from the head's EEPROM and may hold anything.
    void oddKeysRoundTrip_data() {
        QTest::addColumn<QString>("key");
        QTest::newRow("blank") << "GainSN 12";
        QTest::newRow("ini syntax") << "GainSN]=;#";
        QTest::newRow("backslash") << "GainSN1\\2";
    }
    void oddKeysRoundTrip() {
        QFETCH(QString, key);
        {
            IniSettings s;
            QVERIFY(s.write(key, QStringLiteral("2.5")));
            QVERIFY(s.write(QStringLiteral("PCIPort"), QStringLiteral("1")));
        }
        IniSettings again;
        QCOMPARE(again.read(key, QString()), QStringLiteral("2.5"));
        QCOMPARE(again.read(QStringLiteral("PCIPort"), QString()), QStringLiteral("1"));
    }

    // A hand-edited file may hold an unquoted comma, which INI readers take for a list.
    void handEditedListReadsAsText() {
        QDir().mkpath(xdg_.configHome() + QStringLiteral("/QVR100"));
        QFile f(xdg_.settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Properties]\nDisplay=Primary,Secondary\n");
        f.close();
        IniSettings s;
        QCOMPARE(s.read(QStringLiteral("Display"), QString()), QStringLiteral("Primary,Secondary"));
    }

    // Each write replaces the file by a new one (written aside, then renamed), so a crash
    // part-way leaves either the old file or the new one.
    void writeReplacesTheFileWhole() {
        IniSettings s;
        QVERIFY(s.write(QStringLiteral("PCIPort"), QStringLiteral("1")));
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(xdg_.settingsFile()).constData(), &before), 0);
        QVERIFY(s.write(QStringLiteral("PCIPort"), QStringLiteral("2")));
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(xdg_.settingsFile()).constData(), &after), 0);
        QVERIFY(before.st_ino != after.st_ino);
        QStringList left = QDir(xdg_.configHome() + QStringLiteral("/QVR100"))
                               .entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("QVR100.conf.lock"));
        QCOMPARE(left, QStringList{QStringLiteral("QVR100.conf")});
    }

    void writeThatCannotReachTheDiskReportsFailure() {
        // A plain file where the folder should be: the store cannot be written, even as root.
        QFile blocker(xdg_.configHome() + QStringLiteral("/QVR100"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        IniSettings s;
        QVERIFY(!s.write(QStringLiteral("PCIPort"), QStringLiteral("1")));

        // Once the way is clear the same store writes again, and says so.
        QVERIFY(QFile::remove(blocker.fileName()));
        QVERIFY(s.write(QStringLiteral("ScreenTop"), QStringLiteral("5")));
        QCOMPARE(onDisk(QStringLiteral("PCIPort")).toString(), QStringLiteral("1"));
        QCOMPARE(onDisk(QStringLiteral("ScreenTop")).toString(), QStringLiteral("5"));
    }

    void memoryStoreRoundTrip() {
        MemorySettings m;
        QVERIFY(m.write(QStringLiteral("PCIPort"), QStringLiteral("2")));
        QCOMPARE(m.read(QStringLiteral("PCIPort"), QStringLiteral("9999")), QStringLiteral("2"));
        QVERIFY(m.write(QStringLiteral("PCIPort"), QString()));
        QCOMPARE(m.read(QStringLiteral("PCIPort"), QStringLiteral("9999")), QString());
        QVERIFY(!QFile::exists(xdg_.settingsFile()));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
