#pragma once
// Who is working: the login name of the process's user.

#include <QString>

namespace qvr::dose {

QString loginName();

// The name a signature prints: the account's full name (the first field of its passwd GECOS),
// else the account itself.
QString printedName(const QString& account);

} // namespace qvr::dose
