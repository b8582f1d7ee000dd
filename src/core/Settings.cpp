#include "core/Settings.h"

#include "core/Messages.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qvr {

namespace {
const QString kGroup = QStringLiteral("Properties/");

// The file is named outright: QSettings' own user-scope INI file would be QVR100.ini.
QString settingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QVR100/QVR100.conf");
}

std::unique_ptr<QSettings> openIni(const QString& path) {
    auto s = std::make_unique<QSettings>(path, QSettings::IniFormat);
    s->setAtomicSyncRequired(true);
    return s;
}

// Writes every key QSettings could read into a fresh file and puts it in place of the damaged
// one, after keeping a copy of that. QSettings keeps its first error for good, so without this
// each later write would look failed although it was stored.
bool replaceDamaged(const QSettings& damaged, QString* why) {
    const QString path = damaged.fileName();
    const QString copy = path + QStringLiteral(".damaged");
    QFile::remove(copy);
    if (!QFile::copy(path, copy)) {
        *why = QStringLiteral("cannot keep a copy as %1").arg(copy);
        return false;
    }
    const QString fresh = path + QStringLiteral(".fresh");
    {
        QSettings out(fresh, QSettings::IniFormat);
        for (const QString& key : damaged.allKeys())
            out.setValue(key, damaged.value(key));
        out.sync();
        if (out.status() != QSettings::NoError) {
            *why = QStringLiteral("cannot write %1").arg(fresh);
            QFile::remove(fresh);
            return false;
        }
    }
    if (::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()) != 0) {
        *why = QStringLiteral("cannot replace it: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        QFile::remove(fresh);
        return false;
    }
    *why = QStringLiteral("a copy of it is kept as %1").arg(copy);
    return true;
}

} // namespace

IniSettings::IniSettings() : IniSettings(settingsPath()) {}

IniSettings::IniSettings(const QString& path) {
    // A file that exists but cannot be read must not pass for an empty store: its gains would
    // be replaced by the record's without a word, and the first write would overwrite it.
    QFile probe(path);
    if (probe.exists() && !probe.open(QIODevice::ReadOnly)) {
        unreadable_ = true;
        problem_ = text(1201).arg(path, probe.errorString());
    }
    probe.close();
    settings_ = openIni(path);
    // QSettings parses each section when it is first looked into, and only then knows whether
    // it was damaged: look into all of them now.
    settings_->allKeys();
    if (!unreadable_ && settings_->status() == QSettings::FormatError) {
        QString why;
        const bool replaced = replaceDamaged(*settings_, &why);
        problem_ = text(1202).arg(path, why);
        if (replaced)
            settings_ = openIni(path);
    }
}

IniSettings::~IniSettings() = default;

QString IniSettings::read(const QString& key, const QString& def) const {
    const QVariant v = settings_->value(kGroup + key);
    if (!v.isValid())
        return def;
    // An unquoted comma makes QSettings hand back a list; the stored text is what we want.
    if (v.metaType().id() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

bool IniSettings::write(const QString& key, const QString& text) {
    if (unreadable_) {
        std::fprintf(stderr, "QVR100PCI: %s not stored: the settings file %s could not be read\n",
                     qPrintable(key), qPrintable(settings_->fileName()));
        return false;
    }
    // QSettings keeps its first error for good. A fresh object reports on this write alone;
    // it shares the file's unwritten changes, so nothing stored before is lost.
    if (settings_->status() != QSettings::NoError)
        settings_ = openIni(settings_->fileName());
    settings_->setValue(kGroup + key, text);
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        std::fprintf(stderr, "QVR100PCI: cannot write settings file %s\n",
                     qPrintable(settings_->fileName()));
        return false;
    }
    return true;
}

QString IniSettings::fileName() const {
    return settings_->fileName();
}

QString MemorySettings::read(const QString& key, const QString& def) const {
    return values_.value(key, def);
}

bool MemorySettings::write(const QString& key, const QString& text) {
    values_.insert(key, text);
    return true;
}

} // namespace qvr
