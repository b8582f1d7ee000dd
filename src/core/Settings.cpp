#include "core/Settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>

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

} // namespace

IniSettings::IniSettings() : settings_(openIni(settingsPath())) {}

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
