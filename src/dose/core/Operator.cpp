#include "dose/core/Operator.h"

#include <QtGlobal>
#include <pwd.h>
#include <unistd.h>

namespace qvr::dose {

QString loginName() {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("uid %1").arg(getuid()) : user;
}

} // namespace qvr::dose
