#include "app/Settings.h"

#include <QSettings>
#include <QStringList>
#include <cstdio>

namespace qvr {

namespace {
const QString kGroup = QStringLiteral("Properties/");
}

IniSettings::IniSettings()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("QVR100"), QStringLiteral("QVR100"))) {
    settings_->setAtomicSyncRequired(true);
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
    settings_->setValue(kGroup + key, text);
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        std::fprintf(stderr, "QVR100PCI: cannot write settings file %s\n",
                     qPrintable(settings_->fileName()));
        return false;
    }
    return true;
}

QString IniSettings::fileName() const { return settings_->fileName(); }

QString MemorySettings::read(const QString& key, const QString& def) const {
    return values_.value(key, def);
}

bool MemorySettings::write(const QString& key, const QString& text) {
    values_.insert(key, text);
    return true;
}

} // namespace qvr
