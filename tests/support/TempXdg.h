#pragma once
// Points the user's XDG folders at a fresh temporary folder for the life of the object.

#include <QByteArray>
#include <QTemporaryDir>

namespace qvr::test {

class TempXdg {
public:
    TempXdg();
    ~TempXdg();
    QString configHome() const;
    QString runtimeDir() const;
    QString settingsFile() const; // $XDG_CONFIG_HOME/QVR100/QVR100.conf

private:
    QTemporaryDir dir_;
    QByteArray oldConfig_, oldRuntime_;
};

} // namespace qvr::test
