// The settings store: the real INI file in a temporary XDG config folder.

#include "OtherUser.h"
#include "TempXdg.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
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

    void textRoundTripsThroughTheFile_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("commas and blanks") << "Primary, Secondary , x";
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

    // A file saved by an editor with a byte-order mark, or with lines that are no setting: the
    // keys that can be read are used, writes succeed and say so, the damaged file is kept aside.
    void damagedFileKeepsWhatCanBeRead_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("byte-order mark")
            << QByteArray("\xef\xbb\xbf[Properties]\nGainSN1234=1.87\n");
        QTest::newRow("garbage lines")
            << QByteArray("[Properties]\nnot a setting\nGainSN1234=1.87\n\x01\x02\n");
    }
    void damagedFileKeepsWhatCanBeRead() {
        QFETCH(QByteArray, content);
        QDir().mkpath(xdg_.configHome() + QStringLiteral("/QVR100"));
        QFile f(xdg_.settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        IniSettings s;
        QVERIFY2(s.problem().contains(xdg_.settingsFile()), qPrintable(s.problem()));
        QCOMPARE(s.read(QStringLiteral("GainSN1234"), QString()), QStringLiteral("1.87"));
        QVERIFY(s.write(QStringLiteral("PCIPort"), QStringLiteral("1")));
        QVERIFY(s.write(QStringLiteral("PCIPort"), QStringLiteral("2")));
        QCOMPARE(onDisk(QStringLiteral("PCIPort")).toString(), QStringLiteral("2"));
        QCOMPARE(onDisk(QStringLiteral("GainSN1234")).toString(), QStringLiteral("1.87"));
        QFile copy(xdg_.settingsFile() + QStringLiteral(".damaged"));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), content);
        QVERIFY(IniSettings().problem().isEmpty()); // the next run finds a clean file
    }

    // Runs as another user: root would read the file whatever its mode.
    void unreadableFileIsSaidAndLeftAlone() {
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::WriteOther |
                                              QFile::ExeOther);
        const QString path = dir.path() + QStringLiteral("/QVR100.conf");
        const QByteArray content("[Properties]\nGainSN1234=1.87\n");
        const auto seen = test::asOtherUser([&] {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
                return QByteArray("cannot make the file");
            f.close();
            QFile::setPermissions(path, {});
            IniSettings s(path);
            return (s.problem() + QLatin1Char('|') +
                    s.read(QStringLiteral("GainSN1234"), QStringLiteral("none")) +
                    QLatin1Char('|') +
                    (s.write(QStringLiteral("PCIPort"), QStringLiteral("1")) ? "stored" : "not"))
                .toUtf8();
        });
        if (!seen)
            QSKIP("cannot run a process as another user here (root reads every file)");
        const QStringList parts = QString::fromUtf8(*seen).split(QLatin1Char('|'));
        QCOMPARE(parts.size(), 3);
        QVERIFY2(parts[0].startsWith(QStringLiteral("cannot read the settings file ") + path),
                 qPrintable(parts[0]));
        QVERIFY2(parts[0].contains(QStringLiteral("ermission denied")), qPrintable(parts[0]));
        QCOMPARE(parts[1], QStringLiteral("none"));
        QCOMPARE(parts[2], QStringLiteral("not"));
        QFile f(path); // as root now: the unreadable file is as it was
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
