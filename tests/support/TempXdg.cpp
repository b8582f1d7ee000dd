#include "TempXdg.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace qvr::test {

TempXdg::TempXdg()
    : oldConfig_(qgetenv("XDG_CONFIG_HOME")), oldRuntime_(qgetenv("XDG_RUNTIME_DIR")) {
    QDir(dir_.path()).mkpath(QStringLiteral("config"));
    QDir(dir_.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtimeDir().toLocal8Bit());
}

TempXdg::~TempXdg() {
    auto restore = [](const char* name, const QByteArray& v) {
        if (v.isNull())
            qunsetenv(name);
        else
            qputenv(name, v);
    };
    restore("XDG_CONFIG_HOME", oldConfig_);
    restore("XDG_RUNTIME_DIR", oldRuntime_);
}

QString TempXdg::configHome() const {
    return dir_.path() + QStringLiteral("/config");
}
QString TempXdg::runtimeDir() const {
    return dir_.path() + QStringLiteral("/runtime");
}
QString TempXdg::settingsFile() const {
    return configHome() + QStringLiteral("/QVR100/QVR100.conf");
}

} // namespace qvr::test
