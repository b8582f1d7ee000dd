#include "dose/core/Operator.h"

#include <QByteArray>
#include <QtGlobal>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace qvr::dose {

QString loginName() {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("uid %1").arg(getuid()) : user;
}

QString printedName(const QString& account) {
    const QByteArray name = account.toLocal8Bit();
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwnam_r(name.constData(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_gecos) {
        const QString full =
            QString::fromLocal8Bit(found->pw_gecos).section(QLatin1Char(','), 0, 0);
        if (!full.trimmed().isEmpty())
            return full.trimmed();
    }
    return account;
}

} // namespace qvr::dose
