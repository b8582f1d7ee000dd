#pragma once
// The per-user settings store: texts under application "QVR100", section "Properties".

#include <QHash>
#include <QString>
#include <memory>

class QSettings;

namespace qvr {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text for key, or def when the key is absent.
    virtual QString read(const QString& key, const QString& def) const = 0;
    // Stores text under key; the value is on disk when the call returns. False on failure.
    virtual bool write(const QString& key, const QString& text) = 0;
};

// QSettings in INI format: $XDG_CONFIG_HOME/QVR100/QVR100.conf, group [Properties].
// Each write is synced; QSettings replaces the file atomically, so a crash mid-write
// leaves the old file or the new one, never a torn one.
class IniSettings : public SettingsStore {
public:
    IniSettings();
    explicit IniSettings(const QString& path);
    ~IniSettings() override;
    QString read(const QString& key, const QString& def) const override;
    bool write(const QString& key, const QString& text) override;
    QString fileName() const;
    // One line to say at start-up when the file could not be read whole, empty otherwise:
    // an unreadable file (every key then reads its default and no write touches the file) or
    // damaged lines (a BOM, lines that are no key: the readable keys are kept, the damaged
    // file is copied aside and replaced by a clean one).
    QString problem() const { return problem_; }

private:
    std::unique_ptr<QSettings> settings_;
    QString problem_;
    bool unreadable_ = false;
};

class MemorySettings : public SettingsStore {
public:
    QString read(const QString& key, const QString& def) const override;
    bool write(const QString& key, const QString& text) override;
    bool contains(const QString& key) const { return values_.contains(key); }
    QHash<QString, QString> values_;
};

} // namespace qvr
